// The scaling of the window's laid-out sizes to a display's DPI: one rounding rule (to the
// nearest pixel, halves away from zero) for rectangles, font heights and widths alike.
#include <gtest/gtest.h>

#include "app/Scaling.h"

using namespace tessara;

namespace {

struct TScaleRow {
    int Dpi;
    TLayoutRect Button1, List, Memo, Client;  // laid out at 9,211,65,22 / 8,56,249,121 /
                                              // 264,8,345,241 / 0,0,618,282
    int FontHeight;                           // -11
    int ItemHeight;                           // 13
    int Narrow, Wide;                         // 268, 621
};

const TScaleRow kRows[] = {
    {96, {9, 211, 65, 22}, {8, 56, 249, 121}, {264, 8, 345, 241}, {0, 0, 618, 282}, -11, 13, 268, 621},
    {120, {11, 264, 81, 28}, {10, 70, 311, 151}, {330, 10, 431, 301}, {0, 0, 773, 353}, -14, 16, 335, 776},
    {144, {14, 317, 98, 33}, {12, 84, 374, 182}, {396, 12, 518, 362}, {0, 0, 927, 423}, -17, 20, 402, 932},
    {192, {18, 422, 130, 44}, {16, 112, 498, 242}, {528, 16, 690, 482}, {0, 0, 1236, 564}, -22, 26, 536, 1242},
};

}  // namespace

TEST(Scaling, LaidOutValuesAtEachDpiRoundToNearestWithHalvesAwayFromZero) {
    for (const TScaleRow& row : kRows) {
        SCOPED_TRACE(row.Dpi);
        EXPECT_EQ(ScaleToDpi(TLayoutRect{9, 211, 65, 22}, row.Dpi), row.Button1);
        EXPECT_EQ(ScaleToDpi(TLayoutRect{8, 56, 249, 121}, row.Dpi), row.List);
        EXPECT_EQ(ScaleToDpi(TLayoutRect{264, 8, 345, 241}, row.Dpi), row.Memo);
        EXPECT_EQ(ScaleToDpi(TLayoutRect{0, 0, 618, 282}, row.Dpi), row.Client);
        EXPECT_EQ(ScaleToDpi(-11, row.Dpi), row.FontHeight);
        EXPECT_EQ(ScaleToDpi(13, row.Dpi), row.ItemHeight);
        EXPECT_EQ(ScaleToDpi(268, row.Dpi), row.Narrow);
        EXPECT_EQ(ScaleToDpi(621, row.Dpi), row.Wide);
        // Negative values mirror positive ones.
        EXPECT_EQ(ScaleToDpi(-268, row.Dpi), -row.Narrow);
    }
    // A DPI that is not known leaves the layout as it is.
    EXPECT_EQ(ScaleToDpi(TLayoutRect{9, 211, 65, 22}, 0), (TLayoutRect{9, 211, 65, 22}));
    EXPECT_EQ(ScaleToDpi(-11, -144), -11);
}

TEST(Scaling, OuterWidthScalesTheClientPartAndTakesTheFrameOfTheNewDpi) {
    struct {
        int Width, FrameAt96, FrameAtDpi, Dpi, Expected;
    } const rows[] = {
        {268, 6, 6, 96, 268},      // at 96 DPI the width as it is, whatever the frame
        {621, 16, 16, 96, 621},
        {268, 6, 6, 144, 399},     // (268 - 6) * 1.5 = 393, then the frame
        {621, 6, 6, 144, 929},     // 922.5 rounds up
        {268, 6, 8, 192, 532},
        {621, 16, 20, 120, 776},   // 756.25 rounds down, then the frame
        {268, 6, 7, 0, 268},       // DPI not known
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Dpi);
        EXPECT_EQ(ScaleOuterWidthToDpi(row.Width, row.FrameAt96, row.FrameAtDpi, row.Dpi), row.Expected);
    }
}
