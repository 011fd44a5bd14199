#include "app/credentials.h"

#include "config/settings.h"

namespace kestrava::app {

std::size_t CharacterCount(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++n;
    }
    return n;
}

namespace {

// Room for far more than any field holds, so that a longer value is seen as what it is.
config::StringKey Whole(const config::StringKey& key) { return config::StringKey{key.file, key.key, key.def, 1024}; }

}  // namespace

StoredCredentials LoadCredentials() {
    StoredCredentials stored;
    Credentials& c = stored.values;
    c.bidpassword = config::Read(Whole(config::user::bidpassword));
    c.idcard = config::Read(Whole(config::user::idcard));
    c.firstbid = config::Read(config::user::firstbid) == 1;
    if (CharacterCount(c.bidpassword) > kPasswordLength) {
        stored.problem = kStoredPasswordTooLongText;
    } else if (CharacterCount(c.idcard) > kIdCardLength) {
        stored.problem = kStoredIdCardTooLongText;
    }
    return stored;
}

std::string SaveCredentials(const Credentials& typed) {
    config::Write(config::user::firstbid, typed.firstbid ? 1 : 0);
    const std::size_t passwordChars = CharacterCount(typed.bidpassword);
    const std::size_t cardChars = CharacterCount(typed.idcard);
    const bool passwordOk = passwordChars == 0 || passwordChars == kPasswordLength;
    const bool cardOk = cardChars == 0 || cardChars == kIdCardLength;
    if (passwordOk) config::Write(config::user::bidpassword, typed.bidpassword);
    if (cardOk) config::Write(config::user::idcard, typed.idcard);
    if (!passwordOk) return kPasswordLengthText;
    if (!cardOk) return kIdCardLengthText;
    return {};
}

}  // namespace kestrava::app
