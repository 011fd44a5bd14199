// The credentials dialog's storing rules and the help pages' paging.
#include <gtest/gtest.h>

#include "app/credentials.h"
#include "app/help_pages.h"
#include "config/settings.h"
#include "unit/app/install_dir.h"

using namespace kestrava;
using kestrava::testing::InstallDir;
using kestrava::testing::PermissionBits;
using kestrava::testing::WriteFile;

TEST(Credentials, StoresEachTextOnlyAtItsLengthOrEmpty) {
    const std::string card = "31010119900101123X";
    struct Case {
        const char* name;
        app::Credentials typed;
        const char* wantMessage;
        const char* wantPassword;
        std::string wantCard;
    };
    const Case cases[] = {
        {"both right", {"abcd", card, true}, "", "abcd", card},
        {"both cleared", {"", "", false}, "", "", ""},
        {"short password", {"123", card, true}, app::kPasswordLengthText, "old1", card},
        {"short card", {"9876", "3101", false}, app::kIdCardLengthText, "9876", "310101198001011234"},
        {"both wrong: password first", {"12", "1", true}, app::kPasswordLengthText, "old1", "310101198001011234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallDir dir;
        WriteFile(".//bin//userconf.ini", "[Configure]\nbidpassword=old1\nidcard=310101198001011234\nfirstbid=0\n");
        EXPECT_EQ(app::SaveCredentials(c.typed), c.wantMessage);
        const app::StoredCredentials loaded = app::LoadCredentials();
        EXPECT_EQ(loaded.problem, "");
        const app::Credentials& stored = loaded.values;
        EXPECT_EQ(stored.bidpassword, c.wantPassword);
        EXPECT_EQ(stored.idcard, c.wantCard);
        EXPECT_EQ(stored.firstbid, c.typed.firstbid);  // the switch is stored even on a wrong length
        EXPECT_EQ(PermissionBits(".//bin//userconf.ini"), 0600u);
    }
}

// A stored text longer than its field (the file edited by hand) is read whole and reported: cut
// to fit, it would be another password given to the page without a word.
TEST(Credentials, AStoredTextLongerThanItsFieldIsReadWholeAndReported) {
    struct Case {
        const char* name;
        const char* file;
        const char* password;
        const char* card;
        const char* problem;
    };
    const Case cases[] = {
        {"both fit", "bidpassword=1234\nidcard=310101198001011234\n", "1234", "310101198001011234", ""},
        {"password too long", "bidpassword=123456789012\nidcard=310101198001011234\n", "123456789012",
         "310101198001011234", app::kStoredPasswordTooLongText},
        {"card too long", "bidpassword=1234\nidcard=3101011980010112345678\n", "1234", "3101011980010112345678",
         app::kStoredIdCardTooLongText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallDir dir;
        WriteFile(".//bin//userconf.ini", std::string("[Configure]\n") + c.file);
        const app::StoredCredentials loaded = app::LoadCredentials();
        EXPECT_EQ(loaded.values.bidpassword, c.password);
        EXPECT_EQ(loaded.values.idcard, c.card);
        EXPECT_EQ(loaded.problem, c.problem);
    }
}

TEST(HelpPages, PagesStayWithinOneToTen) {
    app::HelpPager pager;
    EXPECT_EQ(pager.PictureName(), "help_01.png");
    pager.Previous();
    EXPECT_EQ(pager.Page(), 1);
    for (int i = 2; i <= 10; ++i) EXPECT_TRUE(pager.Next());
    EXPECT_EQ(pager.PictureName(), "help_10.png");
    EXPECT_FALSE(pager.Next());  // past the last page the console opens
    EXPECT_EQ(pager.Page(), 10);
    pager.Previous();
    EXPECT_EQ(pager.PictureName(), "help_09.png");
}
