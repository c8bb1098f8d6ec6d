// The sound libraries, bound when the first sound plays rather than linked.
#include <gtest/gtest.h>

#include "platform/sound/pulse_stream_linux.h"
#include "platform/system/bind_linux.h"

namespace tolvane {
namespace {

TEST(SoundLibraries, AMissingLibraryOrFunctionBindsNothing) {
  static DeclaredFunction cosine{"libm.so.6", "cos"}, absent{"libm.so.6", "tolvane_absent"},
      noLibrary{"libtolvane-absent.so.0", "cos"};
  const auto cos = TryBindAs<double (*)(double)>(cosine);
  ASSERT_NE(cos, nullptr);
  EXPECT_EQ(cos(0.0), 1.0);
  EXPECT_EQ(TryBind(absent), nullptr);
  EXPECT_EQ(TryBind(noLibrary), nullptr);
}

// Client libraries that lack one function (an older version, say) are not used at
// all: no stream opens and no format is valid, rather than a call through nothing.
TEST(SoundLibraries, PulseIsUsedWholeOrNotAtAll) {
  const pa_sample_spec cd{PA_SAMPLE_S16LE, 44100, 2};
  {
    DeniedFunction older("pa_simple_drain");
    EXPECT_FALSE(sound::SampleFormatValid(cd));
    EXPECT_EQ(sound::FrameBytes(cd), 0u);
    EXPECT_EQ(sound::PlaybackStream::Open(cd, "test"), nullptr);
  }
  EXPECT_TRUE(sound::SampleFormatValid(cd));
  EXPECT_EQ(sound::FrameBytes(cd), 4u);
  EXPECT_EQ(sound::BytesFor(1000000, cd), 176400u);
}

}  // namespace
}  // namespace tolvane
