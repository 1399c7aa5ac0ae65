#include "sim/ui/shell.h"

namespace sim {

std::vector<ChangeNotification> Shell::Notifications() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return notifications_;
}

std::vector<FileOperation> Shell::FileOperations() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return operations_;
}

std::vector<std::wstring> Shell::PermanentlyDeleted() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<std::wstring> paths;
    for (const FileOperation& operation : operations_) {
        paths.insert(paths.end(), operation.deletedForGood.begin(), operation.deletedForGood.end());
    }
    return paths;
}

void Shell::Record(ChangeNotification notification)
{
    std::lock_guard<std::mutex> guard(mutex_);
    notification.sequence = nextSequence_++;
    notifications_.push_back(std::move(notification));
}

void Shell::Record(FileOperation operation)
{
    std::lock_guard<std::mutex> guard(mutex_);
    operation.sequence = nextSequence_++;
    operations_.push_back(std::move(operation));
}

} // namespace sim
