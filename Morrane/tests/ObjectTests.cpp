#include "Morrane/Observer.h"
#include "Morrane/SMap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counts its live instances, so that double and missing deletes show.
struct Tracked : CSObject {
    static int live;
    explicit Tracked(const char* name) : CSObject(name, "Tracked") { ++live; }
    ~Tracked() override { --live; }
};
int Tracked::live = 0;

TEST(SObject, NamesAndCopies) {
    CSObject plain;
    EXPECT_EQ(plain.GetClass(), "CSObject");
    EXPECT_EQ(plain.GetName(), "");
    CSObject named("n", nullptr);
    EXPECT_EQ(named.GetName(), "n");
    EXPECT_EQ(named.GetClass(), "");
    named.SetClass("K");
    CSObject copy(named);
    EXPECT_EQ(copy.GetName(), "n");
    EXPECT_EQ(copy.GetClass(), "K");
}

TEST(SMap, DuplicateKeysAndRemove) {
    {
        CSMap map("m", 7);
        EXPECT_EQ(map.GetClass(), "CSMap");
        auto* first = new Tracked("first");
        auto* second = new Tracked("second");
        map.Add("key", first);
        map.Add("key", second);
        EXPECT_EQ(map["key"], first);
        CSObject* removed = map.Remove("key");
        EXPECT_EQ(removed, first);
        delete removed;
        EXPECT_EQ(map["key"], second);
        EXPECT_EQ(map["Key"], nullptr); // case-sensitive
        EXPECT_EQ(map.Remove("absent"), nullptr);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(SMap, OneBucketHoldsEveryKey) {
    CSMap map("m", 1);
    EXPECT_EQ(map.GetCount(), 1);
    const char* keys[] = {"a", "b", "c", "longer key", ""};
    for (const char* key : keys)
        map.Add(key, new Tracked(key));
    for (const char* key : keys) {
        ASSERT_NE(map[key], nullptr) << key;
        EXPECT_EQ(map[key]->GetName(), key);
    }
    EXPECT_EQ(map.GetList()[0].size(), 5u);
    map.Clear();
    EXPECT_EQ(map["a"], nullptr);
    EXPECT_EQ(Tracked::live, 0);
}

TEST(SMap, HashFollowsTheSignedCharacterSum) {
    CSMap map("m", 1000);
    // 'a' * 32 + 'b' = 3202
    EXPECT_EQ(map.Hash("ab"), 3202u % 1000u);
    // A byte above 127 counts as negative: 0 * 32 + (-1) wraps around.
    EXPECT_EQ(map.Hash("\xff"), 0xFFFFFFFFu % 1000u);
}

TEST(SMap, LongKeysAreCutTo31Characters) {
    CSMap map("m", 3);
    const std::string longKey(40, 'k');
    map.Add(longKey.c_str(), new Tracked("long"));
    EXPECT_NE(map[std::string(31, 'k').c_str()], nullptr);
    EXPECT_NE(map[longKey.c_str()], nullptr); // looked up the way it was stored
    delete map.Remove(longKey.c_str());
    EXPECT_EQ(Tracked::live, 0);
}

TEST(SMap, CopiesFreeTheObjectsOnce) {
    {
        auto* original = new CSMap("m", 5);
        original->Add("a", new Tracked("a"));
        CSMap copy(*original);
        EXPECT_EQ(copy.GetName(), "m");
        delete original; // the copy still uses the entries
        ASSERT_NE(copy["a"], nullptr);
        EXPECT_EQ(copy["a"]->GetName(), "a");
        CSMap assigned("other", 2);
        assigned.Add("b", new Tracked("b"));
        assigned = copy; // drops its own objects, shares the copy's
        EXPECT_EQ(assigned["b"], nullptr);
        EXPECT_NE(assigned["a"], nullptr);
        EXPECT_EQ(Tracked::live, 1);
    }
    EXPECT_EQ(Tracked::live, 0);
}

struct Recorder : CObserver {
    std::vector<int>* log;
    int id;
    Recorder(std::vector<int>* l, int i) : log(l), id(i) {}
    void update(CSubject*) override { log->push_back(id); }
};

TEST(Subject, NotifiesInAttachOrderAndDetachRemovesAll) {
    std::vector<int> log;
    Recorder one(&log, 1), two(&log, 2);
    CSubject subject;
    subject.attach(&one);
    subject.attach(&two);
    subject.attach(&one);
    subject.notify();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 1}));
    subject.detach(&one);
    std::list<CObserver*> observers;
    subject.getObservers(observers);
    EXPECT_EQ(observers, (std::list<CObserver*>{&two}));
    CSubject copy(subject);
    log.clear();
    copy.notify();
    EXPECT_EQ(log, (std::vector<int>{2}));
}

// Detaches itself, or another observer, during the update.
struct Detacher : CObserver {
    CSubject* subject;
    CObserver* victim;
    int calls = 0;
    Detacher(CSubject* s, CObserver* v) : subject(s), victim(v) {}
    void update(CSubject*) override {
        ++calls;
        subject->detach(victim ? victim : this);
    }
};

TEST(Subject, NotifySurvivesObserversDetachingDuringTheCall) {
    std::vector<int> log;
    CSubject subject;
    Recorder after(&log, 7);
    Detacher self(&subject, nullptr);
    auto* doomed = new Recorder(&log, 9);
    Detacher killer(&subject, doomed);
    subject.attach(&self);
    subject.attach(&killer);
    subject.attach(doomed);
    subject.attach(&after);
    subject.notify();
    delete doomed; // detached by killer before its turn: must not be called
    EXPECT_EQ(self.calls, 1);
    EXPECT_EQ(killer.calls, 1);
    EXPECT_EQ(log, (std::vector<int>{7}));
    std::list<CObserver*> left;
    subject.getObservers(left);
    EXPECT_EQ(left, (std::list<CObserver*>{&killer, &after}));
}

} // namespace
