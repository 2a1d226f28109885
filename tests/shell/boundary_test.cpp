// The application title and the one error boundary of every handler.
#include "Fixture.h"
#include "catalogue/Error.h"
#include "shell/ErrorBox.h"

#include <stdexcept>

using shelltest::ErrorBoxCatch;

namespace {

TEST(ApplicationTitle, FileNameUpToItsFirstFullStopWithTheRestInLowerCase)
{
    EXPECT_EQ(vestor::applicationTitle("/opt/games/Vestor"), QStringLiteral("Vestor"));
    EXPECT_EQ(vestor::applicationTitle("C:/Games/Vestor.exe"), QStringLiteral("Vestor"));
    EXPECT_EQ(vestor::applicationTitle("/x/VESTOR.EXE"), QStringLiteral("Vestor"));
    EXPECT_EQ(vestor::applicationTitle("/x/my.tool.exe"), QStringLiteral("my"));
    EXPECT_EQ(vestor::applicationTitle("/x/vESTOR"), QStringLiteral("vestor"));
}

TEST(ErrorBoxText, AFullStopIsAddedAfterCharactersBeyondIt)
{
    EXPECT_EQ(vestor::errorBoxText("Cannot create file a.txt"), QStringLiteral("Cannot create file a.txt."));
    EXPECT_EQ(vestor::errorBoxText("Таблица не найдена"), QStringLiteral("Таблица не найдена."));
    EXPECT_EQ(vestor::errorBoxText("'x' is not a valid integer value"),
              QStringLiteral("'x' is not a valid integer value."));
    // "." itself and everything before it in the table get nothing.
    for (const char *kept : {"Done.", "Really!", "(1)", "a,", "a-", "end ", ""})
        EXPECT_EQ(vestor::errorBoxText(QString::fromLatin1(kept)), QString::fromLatin1(kept)) << kept;
    EXPECT_EQ(vestor::errorBoxText("path/"), QStringLiteral("path/.")) << "'/' comes after '.'";
    EXPECT_EQ(vestor::errorBoxText("Why?"), QStringLiteral("Why?.")) << "so does '?'";
}

TEST(Boundary, AnErrorEndsTheHandlerAndIsShownOnce)
{
    ErrorBoxCatch box;
    int reached = 0;
    vestor::runHandler([&] {
        ++reached;
        throw vestor::Error(QStringLiteral("Field 'PRICE' not found"));
        ++reached;
    });
    vestor::runHandler([] { throw std::runtime_error("out of range"); });
    vestor::runHandler([&] { ++reached; });
    EXPECT_EQ(reached, 2);
    EXPECT_EQ(box.texts, QStringList({"Field 'PRICE' not found.", "out of range."}));
    EXPECT_EQ(box.captions, QStringList({"Vestor", "Vestor"}));
}

} // namespace
