#include "output/RecordingNames.h"

#include <gtest/gtest.h>

namespace output {
namespace {

TEST(RecordingNames, NamesInTheOutputFolder) {
    EXPECT_EQ(recordingName(false, 7), "fizz.wav");
    EXPECT_EQ(recordingName(true, 7), "fizz07.wav");
    EXPECT_EQ(recordingName(true, 0), "fizz00.wav");
    EXPECT_EQ(recordingName(true, 123), "fizz123.wav");
    EXPECT_EQ(recordingPath("/home/bob/rec", "fizz.wav"), "/home/bob/rec/fizz.wav");
    EXPECT_EQ(recordingPath("/home/bob/rec/", "fizz.wav"), "/home/bob/rec/fizz.wav");
    EXPECT_EQ(recordingPath("", "fizz.wav"), "fizz.wav");
}

TEST(RecordingNames, CounterRunsUpToTheMaximumThenStartsAtZero) {
    EXPECT_EQ(nextRecordingCounter(0, 99), 1);
    EXPECT_EQ(nextRecordingCounter(98, 99), 99);
    EXPECT_EQ(nextRecordingCounter(99, 99), 0);
    EXPECT_EQ(nextRecordingCounter(5, 5), 0);
    // A stored maximum below 2 means 99.
    EXPECT_EQ(usableMaxCount(1), 99);
    EXPECT_EQ(usableMaxCount(0), 99);
    EXPECT_EQ(usableMaxCount(2), 2);
    EXPECT_EQ(nextRecordingCounter(50, 1), 51);
    // A corrupt stored counter does not overflow.
    EXPECT_EQ(nextRecordingCounter(2147483647, 99), 0);
}

TEST(RecordingNames, StreamFilesReplaceTheExtension) {
    EXPECT_EQ(streamRecordingPath("/rec/fizz03.wav", 1), "/rec/fizz03.1.wav");
    EXPECT_EQ(streamRecordingPath("/rec/fizz03.wav", 8), "/rec/fizz03.8.wav");
    EXPECT_EQ(streamRecordingPath("out.wav", 2), "out.2.wav");
    EXPECT_EQ(addedStreamRecordingPath("/rec/fizz07.wav", 4, 88200), "/rec/fizz07.4_(88200).wav");
}

}  // namespace
}  // namespace output
