#pragma once
// A general observer pair. A Notifier keeps its observers in registration
// order and each Notifiable keeps the notifiers it watches; neither owns the
// other, and whichever dies first detaches itself from the other side.
// Both lists belong to one thread and are not locked.

#include <vector>

class Notifiable;

class Notifier
{
public:
    // Told to every observer when the notifier goes away.
    static constexpr int kCodeNotifierDeleted = 8;

    Notifier() = default;
    // A copy starts with no observers: an observer watches one notifier, not its copies.
    Notifier(const Notifier&) {}
    Notifier& operator=(const Notifier&) { return *this; }
    virtual ~Notifier();

    void RegisterObserver(Notifiable* observer);
    void UnRegisterObserver(Notifiable* observer);
    bool IsRegistered(const Notifiable* observer) const;

    void VO_Notify(int code, void* data);
    // Calls every observer once, the last registered first, and detaches each.
    void NotifySafe(int code);
    // Calls every observer that is still registered when its turn comes; the
    // list may change while it runs.
    void NotifySafe2(int code, void* data);

private:
    friend class Notifiable;

    bool EraseObserver(const Notifiable* observer);
    void DetachAll(Notifiable* observer);

    std::vector<Notifiable*> observers_;
};

class Notifiable
{
public:
    Notifiable() = default;
    Notifiable(const Notifiable&) {}
    Notifiable& operator=(const Notifiable&) { return *this; }
    virtual ~Notifiable();

    virtual void OnNotify(Notifier* notifier, int code, void* data) = 0;

    // Stops watching the notifier (one registration of it).
    void RemoveWatcher(Notifier* notifier);

private:
    friend class Notifier;

    bool EraseWatched(const Notifier* notifier);

    std::vector<Notifier*> watching_;
};
