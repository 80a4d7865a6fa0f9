// Graphics-API modules drawn by the editor offscreen: every primitive, the
// colour conversion, the stroke offsets of rectangles, text alignment, the
// baseline correction and anti-aliasing of text, and objects kept past
// their paint or made elsewhere.

#include <cmath>
#include <limits>

#include "GmpiGuiTestSupport.h"
#include <cstring>

#include "editor/GgFactory.h"
#include "editor/PortableGraphicsContext_KV_VST_GUI.h"
#include "editor/toolkit/CDrawContext.h"

using namespace gmpi_gui_test;
using gmpi_test::TestDrawModule;
using VSTGUI::CColor;

namespace
{
using Context = gmpi_gui::IMpGraphicsDrawContext;

struct Ink
{
    int left = 100000, top = 100000, right = -1, bottom = -1, pixels = 0, partial = 0;
};

// The pixels of a frame region brighter than black (text on black), with their bounds.
Ink InkIn(const VSTGUI::COffscreenContext& image, int left, int top, int right, int bottom)
{
    Ink ink;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
        {
            const CColor p = image.getPixel(x, y);
            if (p.red == 0)
                continue;
            ++ink.pixels;
            ink.partial += p.red < 255;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    return ink;
}

void Fill(Context& context, const gmpi_gui::Rect& rect, const gmpi_gui::Color& color)
{
    gmpi_gui::ISolidColorBrush* brush = nullptr;
    context.CreateSolidColorBrush(color, &brush);
    context.FillRectangle(rect, brush);
    brush->release();
}

gmpi_gui::IMpGraphicsTextFormat* Format(TestDrawModule& module, float size = 12.0f)
{
    gmpi_gui::IMpGraphicsTextFormat* format = nullptr;
    module.GraphicsHost()->CreateTextFormat("DejaVu Sans", nullptr, gmpi_gui::Font::Normal,
                                            gmpi_gui::Font::StyleNormal, gmpi_gui::Font::StretchNormal, size, nullptr,
                                            &format);
    return format;
}

// White text on black in rect, with the given alignments.
void Text(Context& context, TestDrawModule& module, const char* text, gmpi_gui::Rect rect, int32_t horizontal,
          int32_t vertical)
{
    Fill(context, gmpi_gui::Rect{0, 0, 100, 60}, gmpi_gui::Color{0, 0, 0, 1});
    gmpi_gui::IMpGraphicsTextFormat* format = Format(module);
    ASSERT_NE(format, nullptr);
    format->SetTextAlignment(horizontal);
    format->SetParagraphAlignment(vertical);
    gmpi_gui::ISolidColorBrush* brush = nullptr;
    context.CreateSolidColorBrush(gmpi_gui::Color{1, 1, 1, 1}, &brush);
    context.DrawTextU(text, static_cast<int32_t>(std::strlen(text)), format, rect, brush, 0);
    brush->release();
    format->release();
}

bool Same(const CColor& a, const CColor& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

bool Near(const CColor& a, int red, int green, int blue)
{
    return std::abs(a.red - red) <= 2 && std::abs(a.green - green) <= 2 && std::abs(a.blue - blue) <= 2;
}

int X(double moduleX)
{
    return static_cast<int>(kDrawLeft + moduleX);
}
int Y(double moduleY)
{
    return static_cast<int>(kDrawTop + moduleY);
}
} // namespace

TEST(GmpiDrawing, EachPrimitiveAndTheTitleBarAreDrawnWhereTheModuleIs)
{
    EditorFixture f;
    ASSERT_TRUE(f.editor);
    TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
    ASSERT_NE(module, nullptr);
    ASSERT_NE(module->GraphicsHost(), nullptr);
    const auto image = f.Draw();
    EXPECT_EQ(module->renders, 1);

    EXPECT_TRUE(Near(image->getPixel(X(60), Y(50)), 63, 63, 63)); // the ground, 0.25 of 255
    EXPECT_TRUE(Near(image->getPixel(X(15), Y(3)), 255, 0, 0));   // the frame's top edge, moved up
    EXPECT_TRUE(Near(image->getPixel(X(35), Y(20)), 0, 255, 0));   // the line
    // The closed triangle's base (anti-aliased across two rows); the open one has none.
    EXPECT_GT(std::max(image->getPixel(X(52), Y(27)).blue, image->getPixel(X(52), Y(28)).blue), 150);
    EXPECT_TRUE(Near(image->getPixel(X(82), Y(27)), 63, 63, 63));
    EXPECT_TRUE(Near(image->getPixel(X(82), Y(28)), 63, 63, 63));
    EXPECT_GT(InkIn(*image, X(4), Y(36), X(60), Y(56)).pixels, 10); // the text
    const CColor bitmap = image->getPixel(X(81), Y(41));
    EXPECT_TRUE(Near(bitmap, 255, 0, 255)) << int(bitmap.red) << "," << int(bitmap.green) << "," << int(bitmap.blue);

    // The pointer module's title in the bar, its own drawing below the bar.
    const Ink title = InkIn(*image, int(kPointerLeft), int(kPointerTop), int(kPointerLeft) + 100,
                            int(kPointerTop + kTitle));
    EXPECT_GT(title.pixels, 10);
    EXPECT_NEAR((title.left + title.right) / 2.0, kPointerLeft + 50, 6); // centred
    EXPECT_TRUE(Near(image->getPixel(int(kPointerLeft) + 50, int(kPointerTop + kTitle) + 2), 0, 127, 255));
    EXPECT_FALSE(Near(image->getPixel(int(kPointerLeft) + 3, int(kPointerTop) + 3), 0, 127, 255));
}

TEST(GmpiDrawing, ColourComponentsAreScaledBy255AndTruncated)
{
    EditorFixture f;
    TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
    ASSERT_NE(module, nullptr);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct
    {
        float value;
        int expected;
    } cases[] = {{1.0f, 255}, {0.999f, 254}, {0.5f, 127}, {0.0f, 0}, {1.5f, 255}, {-0.2f, 0}, {nan, 0}};
    module->scene = [&](Context& context, TestDrawModule&) {
        float x = 0;
        for (const auto& c : cases)
        {
            Fill(context, gmpi_gui::Rect{x, 0, x + 10, 10}, gmpi_gui::Color{c.value, 0, 1, 1});
            x += 10;
        }
    };
    const auto image = f.Draw();
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(image->getPixel(X(10.0 * i + 5), Y(5)).red, cases[i].expected) << "value " << cases[i].value;
    EXPECT_EQ(PortableGraphicsContext_KV_VST_GUI::ToCColor(gmpi_gui::Color{0.999f, 1.0f, 0.0f, 0.999f}),
              CColor(254, 255, 0, 254));
}

// A stroked rectangle is moved left by 1 for an odd whole stroke width and
// by 1.5 for an even one, and up by 0.5: the same pixels as the toolkit's
// own rectangle drawn at that place.
TEST(GmpiDrawing, StrokedRectanglesAreMovedByTheirStrokeOffsets)
{
    for (const float width : {1.0f, 2.0f, 3.0f, 2.5f})
    {
        SCOPED_TRACE(width);
        EditorFixture f;
        TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
        ASSERT_NE(module, nullptr);
        const gmpi_gui::Rect rect{20, 10, 60, 40};
        module->scene = [&](Context& context, TestDrawModule&) {
            Fill(context, gmpi_gui::Rect{0, 0, 100, 60}, gmpi_gui::Color{0, 0, 0, 1});
            gmpi_gui::ISolidColorBrush* brush = nullptr;
            context.CreateSolidColorBrush(gmpi_gui::Color{1, 0, 0, 1}, &brush);
            context.DrawRectangle(rect, brush, width, nullptr);
            brush->release();
        };
        const auto drawn = f.Draw();

        const double dx = (static_cast<int>(width) % 2 == 1) ? -1.0 : -1.5;
        auto reference = [&](double moveX, double moveY) {
            auto image = VSTGUI::COffscreenContext::create(240, 160);
            image->setFillColor(CColor(0, 0, 0, 255));
            image->drawRect(VSTGUI::CRect(kDrawLeft, kDrawTop, kDrawLeft + 100, kDrawTop + 60), VSTGUI::kDrawFilled);
            image->setFrameColor(CColor(255, 0, 0, 255));
            image->setLineWidth(width);
            VSTGUI::CRect r(kDrawLeft + rect.left, kDrawTop + rect.top, kDrawLeft + rect.right, kDrawTop + rect.bottom);
            r.offset(moveX, moveY);
            image->drawRect(r, VSTGUI::kDrawStroked);
            return image;
        };
        const auto expected = reference(dx, -0.5);
        const auto unmoved = reference(0, 0);
        int differences = 0;
        int differencesFromUnmoved = 0;
        for (int y = Y(0); y < Y(60); ++y)
            for (int x = X(0); x < X(100); ++x)
            {
                differences += !Same(drawn->getPixel(x, y), expected->getPixel(x, y));
                differencesFromUnmoved += !Same(drawn->getPixel(x, y), unmoved->getPixel(x, y));
            }
        EXPECT_EQ(differences, 0);
        EXPECT_GT(differencesFromUnmoved, 0);
    }
}

TEST(GmpiDrawing, TextAlignmentMapsTrailingToRightCentreToCentreAndAnythingElseToLeft)
{
    const struct
    {
        int32_t alignment;
        const char* where;
    } cases[] = {{0, "left"}, {1, "right"}, {2, "centre"}, {7, "left"}, {-1, "left"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.alignment);
        EditorFixture f;
        TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
        ASSERT_NE(module, nullptr);
        module->scene = [&](Context& context, TestDrawModule& m) {
            Text(context, m, "WW", gmpi_gui::Rect{0, 0, 100, 20}, c.alignment, 1);
        };
        const auto image = f.Draw();
        const Ink ink = InkIn(*image, X(0), Y(0), X(100), Y(60));
        ASSERT_GT(ink.pixels, 10);
        const std::string where = c.where;
        if (where == "left")
            EXPECT_LT(ink.left, X(8));
        else if (where == "right")
            EXPECT_GT(ink.right, X(92));
        else
            EXPECT_NEAR((ink.left + ink.right) / 2.0, X(50), 3);
    }
}

// The baseline correction puts the baseline at the layout rectangle's top
// plus the font size less 1, after top alignment has shortened the
// rectangle to the text's height or bottom alignment has moved it down to
// the bottom; centring leaves the rectangle as it is, so centred text sits
// on the same baseline as top-aligned text.
TEST(GmpiDrawing, ParagraphAlignmentAndBaselineCorrectionPlaceTheLine)
{
    for (const int32_t alignment : {0, 1, 2})
    {
        SCOPED_TRACE(alignment);
        EditorFixture f;
        TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
        ASSERT_NE(module, nullptr);
        gmpi_gui::Size extent;
        module->scene = [&](Context& context, TestDrawModule& m) {
            gmpi_gui::IMpGraphicsTextFormat* format = Format(m);
            format->GetTextExtentU("HH", 2, extent);
            format->release();
            Text(context, m, "HH", gmpi_gui::Rect{0, 0, 100, 60}, 0, alignment);
        };
        const auto image = f.Draw();
        const Ink ink = InkIn(*image, X(0), Y(0), X(100), Y(60));
        ASSERT_GT(ink.pixels, 10);
        const double top = alignment == 1 ? 60 - extent.height : 0;
        const double baseline = top + 12 - 1;
        EXPECT_NEAR(ink.bottom + 1 - kDrawTop, baseline, 1.5);
    }
}

TEST(GmpiDrawing, TextIsAntiAliasedFromSixteenPixelsOfHeight)
{
    for (const float height : {15.0f, 16.0f})
    {
        SCOPED_TRACE(height);
        EditorFixture f;
        TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
        ASSERT_NE(module, nullptr);
        module->scene = [&](Context& context, TestDrawModule& m) {
            // Centred: the layout rectangle keeps its height.
            Text(context, m, "Kv", gmpi_gui::Rect{0, 10, 100, 10 + height}, 0, 2);
        };
        const auto image = f.Draw();
        const Ink ink = InkIn(*image, X(0), Y(0), X(100), Y(60));
        ASSERT_GT(ink.pixels, 10);
        if (height < 16)
            EXPECT_EQ(ink.partial, 0);
        else
            EXPECT_GT(ink.partial, 0);
    }
}

TEST(GmpiDrawing, TextExtentCountsTheLinesWithinTheGivenLength)
{
    EditorFixture f;
    TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
    ASSERT_NE(module, nullptr);
    gmpi_gui::IMpGraphicsTextFormat* format = Format(*module);
    ASSERT_NE(format, nullptr);
    gmpi_gui::Size two, one, past, empty;
    format->GetTextExtentU("a\nb", 3, two);
    format->GetTextExtentU("a\nb", 1, one);
    // A length past the text's end counts only the text's own lines.
    format->GetTextExtentU("a", 500, past);
    format->GetTextExtentU("", 0, empty);
    EXPECT_GT(one.height, 0);
    EXPECT_FLOAT_EQ(two.height, 2 * one.height);
    EXPECT_FLOAT_EQ(past.height, one.height);
    EXPECT_FLOAT_EQ(empty.height, one.height);
    EXPECT_GT(one.width, 1);
    EXPECT_FLOAT_EQ(empty.width, 1);
    gmpi_gui::FONT_METRICS metrics;
    EXPECT_EQ(format->GetFontMetrics(&metrics), gmpi::MP_OK);
    EXPECT_GT(metrics.ascent, metrics.capHeight);
    EXPECT_FLOAT_EQ(metrics.xHeight, 0.75f * metrics.capHeight);
    EXPECT_FLOAT_EQ(metrics.underlinePosition, 0.5f * metrics.descent);
    format->release();
}

// A factory or geometry a module keeps past its paint never reaches the
// ended paint's context: the factory still makes geometries, and both draw
// in a later paint.
TEST(GmpiDrawing, FactoriesAndGeometriesKeptPastTheirPaintDrawLater)
{
    EditorFixture f;
    TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
    ASSERT_NE(module, nullptr);
    gmpi_gui::IFactory* kept = nullptr;
    gmpi_gui::IPathGeometry* keptGeometry = nullptr;
    module->scene = [&](Context& context, TestDrawModule&) {
        context.GetFactory(&kept);
        kept->CreatePathGeometry(&keptGeometry);
    };
    f.Draw();
    ASSERT_NE(kept, nullptr);

    gmpi_gui::IPathGeometry* later = nullptr;
    ASSERT_EQ(kept->CreatePathGeometry(&later), gmpi::MP_OK);
    int line = 10;
    for (gmpi_gui::IPathGeometry* geometry : {keptGeometry, later})
    {
        gmpi_gui::IGeometrySink* sink = nullptr;
        ASSERT_EQ(geometry->Open(&sink), gmpi::MP_OK);
        sink->BeginFigure(gmpi_gui::Point{10, float(line)}, gmpi_gui::GG_FIGURE_BEGIN_HOLLOW);
        sink->AddLine(gmpi_gui::Point{90, float(line)});
        sink->EndFigure(gmpi_gui::GG_FIGURE_END_OPEN);
        sink->release();
        line += 20;
    }
    module->scene = [&](Context& context, TestDrawModule&) {
        Fill(context, gmpi_gui::Rect{0, 0, 100, 60}, gmpi_gui::Color{0, 0, 0, 1});
        gmpi_gui::ISolidColorBrush* brush = nullptr;
        context.CreateSolidColorBrush(gmpi_gui::Color{1, 1, 1, 1}, &brush);
        context.DrawGeometry(keptGeometry, brush, 2.0f, nullptr);
        context.DrawGeometry(later, brush, 2.0f, nullptr);
        brush->release();
    };
    const auto image = f.Draw();
    EXPECT_GT(image->getPixel(X(50), Y(10)).red, 100);
    EXPECT_GT(image->getPixel(X(50), Y(30)).red, 100);
    // A sink used after its geometry went writes into a path nobody draws.
    gmpi_gui::IGeometrySink* orphan = nullptr;
    later->Open(&orphan);
    later->release();
    orphan->BeginFigure(gmpi_gui::Point{1, 1}, gmpi_gui::GG_FIGURE_BEGIN_HOLLOW);
    orphan->AddLine(gmpi_gui::Point{2, 2});
    orphan->EndFigure(gmpi_gui::GG_FIGURE_END_CLOSED);
    orphan->release();
    keptGeometry->release();
    kept->release();
}

// Objects a module hands back that are not this layer's own (a recording
// geometry, a brush of its own, none at all) draw nothing and harm nothing.
TEST(GmpiDrawing, ObjectsThatAreNotTheLayersOwnDrawNothing)
{
    class OwnBrush final : public gmpi_gui::IBrush
    {
    public:
        int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
        {
            *returnInterface = nullptr;
            return gmpi::MP_NOSUPPORT;
        }
        int32_t addRef() override { return 1; }
        int32_t release() override { return 1; }
    } ownBrush;

    EditorFixture f;
    TestDrawModule* module = f.Module<TestDrawModule>(kDraw);
    ASSERT_NE(module, nullptr);
    gmpi_gui::IPathGeometry* recording = nullptr;
    GmpiGuiHosting::GgFactory::GetInstance()->CreatePathGeometry(&recording);
    gmpi_gui::IGeometrySink* sink = nullptr;
    recording->Open(&sink);
    sink->BeginFigure(gmpi_gui::Point{0, 0}, gmpi_gui::GG_FIGURE_BEGIN_HOLLOW);
    sink->AddLine(gmpi_gui::Point{100, 60});
    sink->release();

    module->scene = [&](Context& context, TestDrawModule& m) {
        Fill(context, gmpi_gui::Rect{0, 0, 100, 60}, gmpi_gui::Color{0, 0, 0, 1});
        gmpi_gui::ISolidColorBrush* white = nullptr;
        context.CreateSolidColorBrush(gmpi_gui::Color{1, 1, 1, 1}, &white);
        gmpi_gui::IMpGraphicsTextFormat* format = Format(m);
        context.DrawGeometry(recording, white, 3.0f, nullptr);
        context.DrawGeometry(nullptr, white, 3.0f, nullptr);
        context.FillRectangle(gmpi_gui::Rect{0, 0, 100, 60}, &ownBrush);
        context.FillRectangle(gmpi_gui::Rect{0, 0, 100, 60}, nullptr);
        context.DrawRectangle(gmpi_gui::Rect{5, 5, 50, 50}, nullptr, 1.0f, nullptr);
        context.DrawLine(gmpi_gui::Point{0, 0}, gmpi_gui::Point{90, 50}, &ownBrush, 2.0f, nullptr);
        context.DrawTextU("Kv", 2, nullptr, gmpi_gui::Rect{0, 0, 100, 60}, white, 0);
        context.DrawTextU(nullptr, 2, format, gmpi_gui::Rect{0, 0, 100, 60}, white, 0);
        context.DrawBitmap(nullptr, gmpi_gui::Rect{0, 0, 10, 10}, 1.0f, 0, gmpi_gui::Rect{0, 0, 10, 10});
        context.Test();
        format->release();
        white->release();
    };
    const auto image = f.Draw();
    EXPECT_EQ(InkIn(*image, X(0), Y(0), X(100), Y(60)).pixels, 0);
    recording->release();
}
