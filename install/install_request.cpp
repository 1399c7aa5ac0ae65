#include "install/install_request.h"

#include <cstring>

#include "common/format.h"

void BuildInstallRequest(const UsbPortRecord* port, const ModelEntry* model, InstallRequest* request)
{
    std::memset(request, 0, sizeof(*request));
    FormatBounded(request->hardwareId, 260, L"%ws", port->hardwareId);
    FormatBounded(request->driverName, 260, L"%ws %ws", model->manufacturer, model->model);
    FormatBounded(request->portName, 260, L"%ws", port->portName);
    FormatBounded(request->printerName, 260, L"%ws %ws", model->manufacturer, model->model);
    request->flags = model->flags;
}
