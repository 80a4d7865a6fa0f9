#include "core/Notifier.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace
{
using Ids = std::vector<int>;

// Appends its id to a shared log on every call; an optional action runs inside the handler.
class Observer : public Notifiable
{
public:
    Observer(int id, Ids& log) : id_(id), log_(log) {}

    void OnNotify(Notifier* notifier, int code, void* data) override
    {
        log_.push_back(id_);
        lastCode = code;
        lastData = data;
        if (action)
            action(notifier);
    }

    std::function<void(Notifier*)> action;
    int lastCode = 0;
    void* lastData = this;

private:
    int id_;
    Ids& log_;
};
} // namespace

TEST(Notifier, NotifySafeCallsEachObserverOnceLastFirstAndDetachesThemAll)
{
    Ids log;
    Observer stays(1, log), leaves(2, log), comesBack(3, log);
    leaves.action = [&leaves](Notifier* n) { n->UnRegisterObserver(&leaves); };
    comesBack.action = [&comesBack](Notifier* n) { n->RegisterObserver(&comesBack); };
    Notifier notifier;
    for (Notifiable* o : {&stays, &leaves, &comesBack, &stays})
        notifier.RegisterObserver(o);

    notifier.NotifySafe(5);
    EXPECT_EQ(log, (Ids{1, 3, 2}));
    EXPECT_EQ(stays.lastCode, 5);
    EXPECT_EQ(stays.lastData, nullptr);
    for (Notifiable* o : {&stays, &leaves, &comesBack})
        EXPECT_FALSE(notifier.IsRegistered(o));
}

TEST(Notifier, NotifySafe2SkipsObserversUnregisteredOrDeletedByAnEarlierHandler)
{
    Ids log;
    Observer first(1, log), second(2, log);
    auto doomed = std::make_unique<Observer>(3, log);
    Notifier notifier;
    for (Observer* o : {&first, &second, doomed.get()})
        notifier.RegisterObserver(o);
    first.action = [&](Notifier* n) {
        n->UnRegisterObserver(&second);
        doomed.reset();
    };

    int payload = 0;
    notifier.NotifySafe2(9, &payload);
    EXPECT_EQ(log, (Ids{1}));
    EXPECT_EQ(first.lastData, &payload);
    EXPECT_TRUE(notifier.IsRegistered(&first));
}

TEST(Notifier, DestroyingANotifierTellsEachObserverOnceAndDetachesIt)
{
    Ids log;
    Observer stays(1, log), leaves(2, log), late(3, log);
    leaves.action = [&leaves](Notifier* n) { n->UnRegisterObserver(&leaves); };
    stays.action = [&late](Notifier* n) { n->RegisterObserver(&late); };
    Notifier survivor;
    survivor.RegisterObserver(&stays);
    {
        Notifier notifier;
        notifier.RegisterObserver(&stays);
        notifier.RegisterObserver(&leaves);
    }
    EXPECT_EQ(log, (Ids{2, 1}));
    EXPECT_EQ(stays.lastCode, Notifier::kCodeNotifierDeleted);

    // The observers outlive the notifier; under the sanitizers any reach back into it fails.
    stays.action = nullptr;
    log.clear();
    survivor.VO_Notify(7, &log);
    EXPECT_EQ(log, (Ids{1}));
    EXPECT_EQ(stays.lastData, &log);
}

TEST(Notifier, ADestroyedOrWithdrawnObserverIsNeverCalledAgain)
{
    Ids log;
    Observer keeper(1, log);
    Notifier first, second;
    {
        Observer gone(2, log), withdrawn(3, log);
        for (Notifiable* o : {&gone, &keeper, &gone})
            first.RegisterObserver(o);
        second.RegisterObserver(&gone);
        second.RegisterObserver(&withdrawn);
        withdrawn.RemoveWatcher(&second);
        first.UnRegisterObserver(&gone);
        EXPECT_TRUE(first.IsRegistered(&gone));
    }
    first.VO_Notify(1, nullptr);
    second.VO_Notify(1, nullptr);
    EXPECT_EQ(log, (Ids{1}));
}
