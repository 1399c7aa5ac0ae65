// FindModel with any description: a row is found only for its own name,
// with or without the blank between maker and model.
#include <cwchar>

#include "common/format.h"
#include "fuzz/fuzz_support.h"
#include "install/model_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::wstring description = TakeText(input, 300);
    const ModelEntry* row = FindModel(description.c_str());
    if (row != nullptr) {
        const std::wstring maker = row->manufacturer, model = row->model;
        Require(description == maker + model || description == maker + L" " + model, "a model found for another name");
    }
    return 0;
}
