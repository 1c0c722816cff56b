// The station's judgement of the bus and of each sensor, without a window.
#include <gtest/gtest.h>

#include "BusWatch.h"

namespace {

const QVector<int> kThree{1, 2, 3};

// One request window in which the given sensors answered.
BusWatch::Verdict Cycle(BusWatch& w, const QVector<int>& answered) {
    BusWatch::Verdict v = w.RequestSent(kThree);
    for (int code : answered) w.ReadingArrived(code);
    return v;
}

}  // namespace

TEST(BusWatch, NothingIsJudgedBeforeTheBusHasAnsweredAHandshake) {
    BusWatch w;
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(w.RequestSent(kThree).busLost);
    EXPECT_FALSE(w.Hangup());
    EXPECT_FALSE(w.BusLost());
}

TEST(BusWatch, TwoRequestsWithoutAnyReadingLoseTheBusOnce) {
    BusWatch w;
    w.Connected();
    Cycle(w, {1, 2, 3});
    EXPECT_FALSE(Cycle(w, {}).busLost);  // closes an answered window
    EXPECT_FALSE(Cycle(w, {}).busLost);  // first empty one
    EXPECT_TRUE(Cycle(w, {}).busLost);   // second empty one
    EXPECT_TRUE(w.BusLost());
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(Cycle(w, {}).busLost) << "once per episode";
    // A silent bus never makes its sensors silent as well.
    EXPECT_TRUE(w.SilentSensors().isEmpty());
}

TEST(BusWatch, AnyReadingBetweenEmptyRequestsKeepsTheBus) {
    BusWatch w;
    w.Connected();
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(Cycle(w, {}).busLost);
        EXPECT_FALSE(Cycle(w, {0}).busLost);  // a sensor that is not monitored counts too
    }
}

TEST(BusWatch, AHangupLosesTheBusAtOnceAndAHandshakeRestoresIt) {
    BusWatch w;
    w.Connected();
    EXPECT_TRUE(w.Hangup());
    EXPECT_FALSE(w.Hangup());
    EXPECT_TRUE(w.BusLost());
    w.BusRestored();
    EXPECT_FALSE(w.BusLost());
    EXPECT_TRUE(w.Hangup());
}

TEST(BusWatch, ReadingsAfterALostVerdictOnAnOpenPortBringTheBusBack) {
    BusWatch w;
    w.Connected();
    Cycle(w, {});
    Cycle(w, {});
    ASSERT_TRUE(Cycle(w, {}).busLost);
    EXPECT_FALSE(w.TakeBusBack());
    w.ReadingArrived(2);
    EXPECT_TRUE(w.TakeBusBack());
    EXPECT_FALSE(w.BusLost());
    EXPECT_FALSE(w.TakeBusBack());
}

TEST(BusWatch, ASensorMissingThreeAnsweredRequestsIsSilentUntilItsNextReading) {
    BusWatch w;
    w.Connected();
    Cycle(w, {1, 2, 3});
    EXPECT_TRUE(Cycle(w, {1, 3}).silenced.isEmpty());
    EXPECT_TRUE(Cycle(w, {1, 3}).silenced.isEmpty());
    EXPECT_TRUE(Cycle(w, {1, 3}).silenced.isEmpty());
    const BusWatch::Verdict v = Cycle(w, {1, 3});  // judges the third window 2 missed
    EXPECT_EQ(v.silenced, QVector<int>({2}));
    EXPECT_TRUE(w.Silent(2));
    EXPECT_TRUE(Cycle(w, {1, 3}).silenced.isEmpty()) << "once per episode";
    EXPECT_TRUE(w.ReadingArrived(2));
    EXPECT_FALSE(w.Silent(2));
    EXPECT_FALSE(w.ReadingArrived(2));
}

TEST(BusWatch, MissesCountOnlyInRequestsOthersAnsweredAndMustFollowEachOther) {
    BusWatch w;
    w.Connected();
    Cycle(w, {1, 3});
    Cycle(w, {});  // nobody answered: does not count against sensor 2
    Cycle(w, {1, 3});
    Cycle(w, {1, 2, 3});  // sensor 2 answered: its count starts again
    Cycle(w, {1, 3});
    Cycle(w, {1, 3});
    EXPECT_TRUE(w.RequestSent(kThree).silenced.isEmpty());
    EXPECT_FALSE(w.Silent(2));
}

TEST(BusWatch, ASensorTakenOutOfTheRegisterIsNoLongerSilent) {
    BusWatch w;
    w.Connected();
    for (int i = 0; i < 4; ++i) Cycle(w, {1, 3});
    ASSERT_TRUE(w.Silent(2));
    w.RequestSent({1, 3});
    EXPECT_FALSE(w.Silent(2));
}
