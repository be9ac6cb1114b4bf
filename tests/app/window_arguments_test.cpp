// The window program's command line.
#include "app/window_arguments.h"
#include "errors/error.h"

#include <gtest/gtest.h>

namespace pixelcast {
namespace {

WindowArguments parse(const QStringList& arguments)
{
    return parseWindowArguments(QStringList{QStringLiteral("pixelcast")} + arguments);
}

TEST(WindowArguments, TakeOnePictureAndThePictureOptions)
{
    EXPECT_EQ(parse({}).action, WindowArguments::Action::Run);
    EXPECT_TRUE(parse({}).file.isEmpty());
    const WindowArguments given =
        parse({"--dither=floyd-steinberg", "--keep-aspect", "photo.jpg", "--invert"});
    EXPECT_EQ(given.file, "photo.jpg");
    const RenderOptions remembered{Dither::Ordered, false, true, false};
    EXPECT_EQ(given.appliedTo(remembered),
              (RenderOptions{Dither::FloydSteinberg, true, true, true}));
    EXPECT_EQ(parse({"--smooth"}).appliedTo(remembered), remembered);
    EXPECT_EQ(parse({"--", "--invert"}).file, "--invert");
    EXPECT_EQ(parse({"--dither", "none", "x", "--help"}).action, WindowArguments::Action::ShowHelp);
    EXPECT_EQ(parse({"--version"}).action, WindowArguments::Action::ShowVersion);
}

TEST(WindowArguments, RefuseWhatTheyDoNotKnowWithError4001)
{
    const QStringList refused[] = {{"--bogus"},        {"--dither"}, {"--dither", "sharp"},
                                   {"a.gif", "b.gif"}, {""},         {"-x"}};
    for (const QStringList& arguments : refused) {
        try {
            (void)parse(arguments);
            ADD_FAILURE() << arguments.join(u' ').toStdString() << " was accepted";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), 4001);
        }
    }
}

} // namespace
} // namespace pixelcast
