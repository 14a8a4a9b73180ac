// HDR and wide-gamut pictures as an SDR screen shows them: SDR-range content comes back as its
// SDR original, highlights roll off to white without flattening, and BT.2020 colours land
// inside BT.709 without wrapping.
#include <gtest/gtest.h>

#include <set>

#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "support/Fixtures.h"

namespace {

const QString kBars = "-f lavfi -i smptehdbars=size=320x240:rate=25:duration=1";
const QString kHevc10 =
    "-c:v libx265 -x265-params log-level=error -crf 8 -pix_fmt yuv420p10le -colorspace bt2020nc "
    "-color_primaries bt2020 -color_trc ";

QImage FrameOf(const QString& video) {
    const auto asset = MediaAsset::Open(video);
    ImageGenerator generator(*asset);
    QString error;
    const QImage image = generator.copyCGImageAtTime(CMTimeMakeWithSeconds(0.5, 600), &error);
    EXPECT_FALSE(image.isNull()) << error.toStdString();
    return image;
}

QString SdrBars() {
    return MakeVideo("bars-sdr.mp4", (kBars + " -c:v libx264 -crf 8 -pix_fmt yuv420p -colorspace "
                                              "bt709 -color_primaries bt709 -color_trc bt709")
                                         .split(' '));
}

// HLG from display light, as BT.2100 defines it: the OOTF undone on luminance (zscale's own
// HLG works per channel), then the OETF. Light in 1000-nit units; negatives are black.
QString HlgSignal(char channel) {
    return QString(
               "st(0,(0.2627*r(X,Y)+0.678*g(X,Y)+0.0593*b(X,Y))/10);"
               "st(1,if(gt(ld(0),0),max(%1(X,Y),0)/10*pow(ld(0),-1/6),0));"
               "if(lte(ld(1),1/12),sqrt(3*ld(1)),0.17883277*log(12*ld(1)-0.28466892)+0.55991073)")
        .arg(channel);
}

// The bars mastered at SDR levels (SDR white at 100 nits) into PQ or HLG, or kept SDR in BT.2020.
QString HdrBars(const QString& transfer) {
    const QString fromSdr = "zscale=tin=bt709:pin=bt709:min=bt709:p=bt2020:";
    const QString filters = transfer == "bt2020-10" ? fromSdr + "t=bt2020-10:m=bt2020nc"
                            : transfer == "smpte2084"
                                ? fromSdr + "npl=100:t=smpte2084:m=bt2020nc"
                                : fromSdr + "npl=100:t=linear,format=gbrpf32le,geq=r='" +
                                      HlgSignal('r') + "':g='" + HlgSignal('g') + "':b='" +
                                      HlgSignal('b') + "',zscale=tin=" + transfer +
                                      ":t=" + transfer + ":min=gbr:m=bt2020nc:r=tv";
    return MakeVideo("bars-" + transfer + ".mp4",
                     (kBars + " -vf " + filters + " " + kHevc10 + transfer).split(' '));
}

const std::pair<const char*, const char*> kTransfers[] = {
    {"Pq", "smpte2084"}, {"Hlg", "arib-std-b67"}, {"WideGamutSdr", "bt2020-10"}};

class SdrRangeTest : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(SdrRangeTest, ComesBackAsItsSdrOriginal) {
    const QString transfer = GetParam().second;
    EXPECT_LT(CompareImages(FrameOf(HdrBars(transfer)), FrameOf(SdrBars())).meanDifference,
              transfer == "bt2020-10" ? 4.0 : 9.0);
}

INSTANTIATE_TEST_SUITE_P(Transfers, SdrRangeTest, testing::ValuesIn(kTransfers),
                         [](const auto& info) { return std::string(info.param.first); });

// A ramp of PQ signal from black to 1000 nits (0.7518), with or without light metadata.
QString PqRamp(const QString& name, const QString& metadata) {
    return MakeVideo(
        name,
        ("-f lavfi -i nullsrc=size=1024x64:rate=25:duration=1 -vf "
         "format=yuv444p10le,geq=lum=64+876*0.7518*X/(W-1):cb=512:cr=512 " +
         QString(kHevc10).replace("log-level=error", "log-level=error" + metadata) + "smpte2084")
            .split(' '));
}

std::vector<int> MiddleRow(const QImage& image) {
    std::vector<int> levels;
    for (int x = 0; x < image.width(); ++x) levels.push_back(qGreen(image.pixel(x, 32)));
    return levels;
}

// A ramp to its measured peak rolls off to white without flattening. With a stated peak of
// 4000 nits, 1000 nits stays short of white and every highlight is darker.
TEST(SdrHighlightTest, RampsRollOffToTheirPeak) {
    const std::vector<int> measured = MiddleRow(FrameOf(PqRamp("ramp-pq.mp4", "")));
    for (size_t x = 8; x < measured.size(); x += 8) EXPECT_GE(measured[x], measured[x - 8]) << x;
    EXPECT_EQ(measured.back(), 255);
    EXPECT_GE(std::set<int>(measured.begin() + 3 * measured.size() / 4, measured.end()).size(),
              16u);
    const std::vector<int> stated =
        MiddleRow(FrameOf(PqRamp("ramp-pq-4000.mp4", ":max-cll=4000,400")));
    EXPECT_LT(stated.back(), 255);
    for (size_t x = measured.size() / 2; x < measured.size(); x += 64)
        EXPECT_LT(stated[x], measured[x]) << x;
}

// Pure BT.2020 green lies far outside BT.709: it becomes the most saturated BT.709 green of
// its hue and brightness, with no channel wrapped round.
TEST(WideGamutTest, AColourOutsideBt709IsBroughtIn) {
    const QString green = MakeVideo(
        "green-bt2020.mp4",
        ("-f lavfi -i color=c=0x00ff00:size=64x64:rate=25:duration=1 -vf "
         "format=gbrp,zscale=tin=bt2020-10:t=bt2020-10:pin=bt2020:p=bt2020:min=gbr:m=bt2020nc " +
         kHevc10 + "bt2020-10")
            .split(' '));
    const QRgb pixel = FrameOf(green).pixel(32, 32);
    EXPECT_LE(qRed(pixel), 8);
    EXPECT_GE(qGreen(pixel), 230);
    EXPECT_GT(qBlue(pixel), 80);
    EXPECT_LT(qBlue(pixel), qGreen(pixel));
}

}  // namespace
