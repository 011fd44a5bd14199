#include "config/settings.h"

#include <sys/stat.h>

#include <cerrno>

namespace kestrava::config {
namespace {

FileAccess AccessFor(std::string_view file) {
    return file == kUserConfFile ? FileAccess::OwnerOnly : FileAccess::Keep;
}

}  // namespace

int Read(const IntKey& key) {
    return ReadProfileInt(kSection, key.key, key.def, std::string(key.file));
}

std::string Read(const StringKey& key) {
    return ReadProfileString(kSection, key.key, key.def, key.bufferSize, std::string(key.file));
}

bool Write(const IntKey& key, int value) {
    return WriteProfileInt(kSection, key.key, value, std::string(key.file), AccessFor(key.file));
}

bool Write(const StringKey& key, std::string_view value) {
    return WriteProfileString(kSection, key.key, value, std::string(key.file), AccessFor(key.file));
}

bool WriteText(const IntKey& key, std::string_view text) {
    return WriteProfileString(kSection, key.key, text, std::string(key.file), AccessFor(key.file));
}

int ReadTelecom() {
    const int first = ReadProfileInt(kSection, user::telecom.key, 2, std::string(kUserConfFile));
    if (first == 2) return 2;
    return ReadProfileInt(kSection, user::telecom.key, 1, std::string(kUserConfFile));
}

bool ProtectUserConf() {
    const std::string path(kUserConfFile);
    if (::chmod(path.c_str(), 0600) == 0) return true;
    return errno == ENOENT;
}

}  // namespace kestrava::config
