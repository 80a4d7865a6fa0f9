#include "core/Notifier.h"

#include <algorithm>

namespace
{
template <typename T>
bool EraseFirst(std::vector<T*>& list, const T* item)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}
} // namespace

Notifier::~Notifier()
{
    NotifySafe(kCodeNotifierDeleted);

    // Observers that registered during the last call are detached silently.
    for (auto observer : observers_)
        observer->EraseWatched(this);
    observers_.clear();
}

void Notifier::RegisterObserver(Notifiable* observer)
{
    if (!observer)
        return;
    observers_.push_back(observer);
    observer->watching_.push_back(this);
}

void Notifier::UnRegisterObserver(Notifiable* observer)
{
    if (EraseObserver(observer))
        observer->EraseWatched(this);
}

bool Notifier::IsRegistered(const Notifiable* observer) const
{
    return std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
}

void Notifier::VO_Notify(int code, void* data)
{
    // Indexing re-reads the size, so a handler that changes the list cannot
    // send the loop past its end.
    for (size_t i = 0; i < observers_.size(); ++i)
        observers_[i]->OnNotify(this, code, data);
}

void Notifier::NotifySafe(int code)
{
    const std::vector<Notifiable*> snapshot(observers_);
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
    {
        // An observer already detached, or deleted by an earlier handler, is
        // skipped; the check compares pointers only.
        if (!IsRegistered(*it))
            continue;
        (*it)->OnNotify(this, code, nullptr);
        if (IsRegistered(*it))
            DetachAll(*it);
    }
}

void Notifier::NotifySafe2(int code, void* data)
{
    const std::vector<Notifiable*> snapshot(observers_);
    for (auto observer : snapshot)
    {
        if (IsRegistered(observer))
            observer->OnNotify(this, code, data);
    }
}

bool Notifier::EraseObserver(const Notifiable* observer)
{
    return EraseFirst(observers_, observer);
}

void Notifier::DetachAll(Notifiable* observer)
{
    while (EraseObserver(observer))
        observer->EraseWatched(this);
}

Notifiable::~Notifiable()
{
    for (auto notifier : watching_)
        notifier->EraseObserver(this);
    watching_.clear();
}

void Notifiable::RemoveWatcher(Notifier* notifier)
{
    // The notifier forgets this observer too, so it never calls it after it is gone.
    if (EraseWatched(notifier))
        notifier->EraseObserver(this);
}

bool Notifiable::EraseWatched(const Notifier* notifier)
{
    return EraseFirst(watching_, notifier);
}
