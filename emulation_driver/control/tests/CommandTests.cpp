#include "ControlFixture.h"

using namespace quellin;
using namespace quellin::test;

TEST_F(ControlTest, SessionsOpenOnceAndMismatchesAnswerInTheReply) {
    EXPECT_EQ(device.state(), 2);
    Reply first = command(1);
    EXPECT_EQ(first.result, 0);
    EXPECT_EQ(first.state, 1);
    EXPECT_EQ(command(1).result, 7); // already open, nothing changed
    EXPECT_EQ(command(2).state, 2);
    EXPECT_FALSE(device.session_open());

    // A version mismatch answers 3 or 4 and leaves the session open.
    EXPECT_EQ(control(message(1, 5)).result, 3);
    EXPECT_TRUE(device.session_open());
    EXPECT_EQ(command(1).result, 7);
    command(2);
    EXPECT_EQ(control(message(1, 7)).result, 4);
    command(2);

    // A bad mode answers 5 and releases the session again.
    Reply mode = control(message(1, 6, 2));
    EXPECT_EQ(mode.result, 5);
    EXPECT_EQ(mode.state, 1);
    EXPECT_FALSE(device.session_open());
    EXPECT_EQ(command(1).result, 0);
}

TEST_F(ControlTest, LoadAnswersForHeaderAndChecksumAndKeepsTheBlock) {
    command(1);
    block.data()[176] = 0x11; // u32 at 176 becomes 3,089
    Reply header = load();
    EXPECT_EQ(header.result, 6);
    EXPECT_EQ(header.state, 3);
    block.data()[176] = 0x10;

    block.setMinDelay(20);
    block.setMaxDelay(51);
    EXPECT_EQ(load().result, 0);
    EXPECT_EQ(du_context().meanDelayMs, 35u);
    EXPECT_EQ(device.last_data_length(), block.size());

    // A wrong checksum answers 1, and the block it came with is the one played.
    block.setMinDelay(7);
    Reply wrong = control(message(3, 6, 1, block_bytes(), 0x1234));
    EXPECT_EQ(wrong.result, 1);
    EXPECT_EQ(wrong.state, 3);
    EXPECT_EQ(device.last_checksum(), 0x1234);
    EXPECT_FALSE(du_context().loadFlag);
    EXPECT_EQ(command(6).state, 6);
    ASSERT_TRUE(du_context().block);
    EXPECT_EQ(du_context().block->minDelay(), 7);
}

TEST_F(ControlTest, TheSixthPendingRequestStartsTheEmulation) {
    command(1);
    load();
    command(6);
    EXPECT_EQ(device.countdown(), 6);
    request(wire::kIoctlCapturedPackets, 1000);
    for (int i = 0; i < 4; ++i)
        request(wire::kIoctlPacketList0 + 4 * i, 1000);
    EXPECT_TRUE(du_context().view.bypass); // five: packets still pass straight through
    EXPECT_EQ(send(0), EdgeResult::PassedOn);
    request(wire::kIoctlCounters, 76);
    EXPECT_FALSE(du_context().view.bypass);
    EXPECT_EQ(device.countdown(), 0);
    EXPECT_EQ(send(0), EdgeResult::Emulated);
    EXPECT_TRUE(completer.done.empty());
}

TEST_F(ControlTest, CommandsThatSetTheBypassFlagEndTheCountdown) {
    // A load or close between play and the sixth request must not let the remaining
    // requests start an emulation that no play asked for.
    command(1);
    load();
    command(6);
    for (int i = 0; i < 3; ++i)
        request(wire::kIoctlPacketList0 + 4 * i, 1000);
    load();
    EXPECT_EQ(device.countdown(), 0);
    std::optional<IoCompletion> now;
    for (int i = 0; i < 3; ++i)
        request(wire::kIoctlCapturedPackets, 1000, &now);
    EXPECT_TRUE(du_context().view.bypass);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->information, 0u);

    command(6);
    command(2);
    for (int i = 0; i < 6; ++i)
        request(wire::kIoctlCounters, 76);
    EXPECT_TRUE(du_context().view.bypass);
}

TEST_F(ControlTest, StopTwiceAndStopDuringTheCountdownLeaveNothingPending) {
    Six six = start_playing();
    Reply stop = command(5);
    EXPECT_EQ(stop.result, 0);
    EXPECT_EQ(stop.state, 5);
    EXPECT_TRUE(du_context().view.bypass);
    EXPECT_EQ(du_context().timerPeriodMs, 0);
    for (IoRequestId id : {six.captured, six.lists[0], six.lists[3], six.counters})
        EXPECT_TRUE(completer.completed(id));
    EXPECT_EQ(completer.done.size(), 6u);
    // The stopped block is neutralised in place.
    EXPECT_EQ(du_context().block->eastOut(), wire::pb::kUnlimitedBandwidth);

    Reply again = command(5);
    EXPECT_EQ(again.result, 0);
    EXPECT_EQ(again.state, 5);

    // Stop while the countdown runs: the pending requests are answered and the remaining
    // ones no longer start the emulation.
    load();
    command(6);
    IoRequestId a = request(wire::kIoctlCapturedPackets, 1000);
    IoRequestId b = request(wire::kIoctlCounters, 76);
    EXPECT_EQ(command(5).state, 5);
    EXPECT_TRUE(completer.completed(a));
    EXPECT_TRUE(completer.completed(b));
    for (int i = 0; i < 6; ++i)
        request(wire::kIoctlPacketList1, 1000);
    EXPECT_TRUE(du_context().view.bypass);
    EXPECT_EQ(du_context().timerPeriodMs, 0);

    // Stop with the bypass set by a load during play still answers what waits.
    start_playing();
    load();
    const size_t before = completer.done.size();
    EXPECT_EQ(command(5).state, 3);
    EXPECT_EQ(completer.done.size(), before + 6);
}

TEST_F(ControlTest, CommandsWithoutAMeaningAnswerZeroAndChangeNothing) {
    command(1);
    load();
    for (uint16_t cmd : {0, 4, 7, 8, 9, 11, 0xFFFF}) {
        Reply r = control(message(cmd, 6, 1, {1, 2, 3}));
        EXPECT_EQ(r.result, 0) << cmd;
        EXPECT_EQ(r.state, 3) << cmd;
        EXPECT_EQ(device.last_data_length(), 3u);
    }
    EXPECT_TRUE(du_context().loadFlag);
}

TEST_F(ControlTest, FlushHandsOutWhatIsHeldAndRestartsTheStores) {
    Six six = start_playing();
    for (int i = 0; i < 3; ++i)
        send(0, 100, static_cast<uint8_t>(i));
    EXPECT_EQ(du_context().sequence, 3u);
    EXPECT_EQ(command(10).state, 6);
    EXPECT_EQ(completer.of(six.captured).information, 3u * 76u + 4u);
    EXPECT_GT(completer.of(six.lists[0]).information, 0u);
    EXPECT_EQ(du_context().sequence, 0u);
    EXPECT_EQ(du_context().capturedCount, 0);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(du_context().listWriteCounters[i], 0);
    EXPECT_FALSE(completer.completed(six.counters));
}

namespace quellin::test {

TEST_F(ControlTest, ShutdownLeavesNoTimerEvenAfterALoadDuringPlay) {
    start_playing();
    load(); // sets the bypass flag: the later stop has nothing to stop
    device.shutdown();
    EXPECT_EQ(timers.armed(), 0u);
    EXPECT_LT(du_context().periodicTimer, 0);
}

} // namespace quellin::test
