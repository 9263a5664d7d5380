// The media layer over movies written in the test with libavcodec.
#include "common/files.hpp"
#include "common/movie_writer.hpp"
#include "common/temp_dir.hpp"
#include "platform/media/media.hpp"

#include <gtest/gtest.h>

namespace
{
using namespace plat;

TEST(Media, ReadsFramesInOrderWithMillisecondTimesSeeksAndConverts)
{
  sparktest::TempDir dir;
  std::string path;
  VideoOpenError error;
  EXPECT_FALSE(OpenVideoFile(dir.Name8("missing.avi"), &error));
  EXPECT_TRUE(error.Stage == 1 && error.Code < 0);
  std::unique_ptr<VideoSource> src;
  VideoSample s;
  std::string text;
  auto frameNumber = [&] {   // from the luminance of the eight blocks
    int n = 0;
    for(int b = 0; b < 8; b++) n |= (s.Plane[0][36 * s.Pitch[0] + 4 + 8 * b] > 128) << b;
    return n;
  };
  // a movie from time 0, and one whose stream starts seven frames later: the times and
  // the seeks count from the first frame either way
  for(const auto &[name, start] : {std::pair<const char *, int>{"m.avi", 0}, {"late.mkv", 7}})
  {
    SCOPED_TRACE(name);
    ASSERT_TRUE(sparktest::WriteMovie(path = dir.Name8(name), AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, 64, 48, 25, 30,
                                      [](int f, int x, int y) { return sparktest::PatternPixel(f, x, y, 64, 48); }, start));
    src = OpenVideoFile(path, &error);
    ASSERT_TRUE(src && src->SetOutput(VideoLayout::YV12));
    int num = 0, den = 0;
    src->GetFrameRate(&num, &den);
    EXPECT_EQ(num, 25 * den);
    EXPECT_NEAR(src->GetDuration(), 1.2, 0.05 + start / 25.0);   // the container's may count the lead-in
    for(int i = 0; i < 30; i++)
    {
      ASSERT_EQ(src->Read(s, &text), VideoRead::Ok) << text;
      ASSERT_TRUE(s.Width == 64 && s.Plane[0] && s.Plane[1] && s.Plane[2]);
      EXPECT_TRUE(s.TimeMs == i * 40 && frameNumber() == i) << i << ": " << s.TimeMs << " ms, frame " << frameNumber();
    }
    EXPECT_EQ(src->Read(s, &text), VideoRead::End);
    for(int target : {17, 3, 25, 0})   // across key frames, both ways, after the end
    {
      ASSERT_TRUE(src->Seek(target / 25.0) && src->Read(s, &text) == VideoRead::Ok);
      EXPECT_TRUE(s.TimeMs == target * 40 && frameNumber() == target) << target << ": " << s.TimeMs << " ms, frame " << frameNumber();
    }
  }
  // an odd-sized RGB movie cannot be planar: it comes as RGB32
  ASSERT_TRUE(sparktest::WriteMovie(path = dir.Name8("odd.mkv"), AV_CODEC_ID_FFV1, AV_PIX_FMT_BGR0, 63, 47, 30, 3,
                                    [](int f, int x, int y) { return sparktest::PatternPixel(f, x, y, 63, 47); }));
  src = OpenVideoFile(path, &error);
  ASSERT_TRUE(src && !src->SetOutput(VideoLayout::YV12));
  ASSERT_TRUE(src->SetOutput(VideoLayout::RGB32) && src->Read(s, &text) == VideoRead::Ok);
  ASSERT_TRUE(s.Height == 47 && s.Pitch[0] >= 63 * 4);
  for(int x : {3, 20, 35, 60})
    EXPECT_EQ(*reinterpret_cast<const uint32_t *>(s.Plane[0] + 10 * s.Pitch[0] + x * 4) & 0xffffff,
              sparktest::PatternPixel(0, x, 10, 63, 47));
}

TEST(Media, CaptureDevicesAreNamedByTheirSysfsEntries)
{
  sparktest::TempDir dir;
  for(auto [entry, name] : {std::pair{"video2", "USB Capture HDMI"}, {"video0", "Integrated Camera: Integrated C"}})
  {
    plat::MakeDir((dir.Path + "/" + entry).c_str());
    ASSERT_TRUE(sparktest::WriteFile(dir.Name8(std::string(entry) + "/name"), std::string(name) + "\n"));
  }
  std::vector<CaptureDevice> list = ListV4l2Devices(dir.Path);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_TRUE(list[0].Name == "Integrated Camera: Integrated C" && list[0].Path == "/dev/video0");
  EXPECT_TRUE(list[1].Name == "USB Capture HDMI" && list[1].Path == "/dev/video2");
  EXPECT_TRUE(ListV4l2Devices(dir.Path + "/none").empty() && GetCaptureSystem()->ListFormats({"x", dir.Path + "/none"}).empty());
}
}
