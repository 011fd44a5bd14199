// The page credentials the page shell fills into the auction page's login form: the bid's page
// password, the identity-card number and the switch for the automatic first bid. Kept in
// userconf.ini, which only its owner may read.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::app {

struct Credentials {
    std::string bidpassword;
    std::string idcard;
    bool firstbid = false;
};

inline constexpr std::size_t kPasswordLength = 4;
inline constexpr std::size_t kIdCardLength = 18;
inline constexpr char kPasswordLengthText[] = "密码是4位数字，位数不对请再核对一下！";
inline constexpr char kIdCardLengthText[] = "身份证号是18位，位数不对请再核对一下！";

inline constexpr char kStoredPasswordTooLongText[] = "已保存的标书密码超过4位，请核对后重新输入！";
inline constexpr char kStoredIdCardTooLongText[] = "已保存的身份证号超过18位，请核对后重新输入！";

// What is stored, whole: a stored text longer than its field (the file edited by hand) is never
// cut to fit, which would hand the page a different password without a word. `problem` says
// which text is too long; empty when both fit.
struct StoredCredentials {
    Credentials values;
    std::string problem;
};
StoredCredentials LoadCredentials();

// Stores the switch always, each text only when it has its length or is empty. Returns the message
// to show when a text has the wrong length (the dialog then stays open), empty when it may close.
std::string SaveCredentials(const Credentials& typed);

// Characters, not bytes: the edits accept any text.
std::size_t CharacterCount(std::string_view utf8);

}  // namespace kestrava::app
