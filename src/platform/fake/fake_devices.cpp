// The smaller fakes: screen, keyboard, registry, programs, sound, notices, system time, power,
// single instance, and the platform that bundles them.
#include <algorithm>

#include "platform/fake/fake_platform.h"

namespace kestrava::platform::fake {

// ---- FakeScreen

FakeScreen::FakeScreen(int width, int height) : framebuffer_(width, height) {}

void FakeScreen::Fill(const Rect& r, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    std::lock_guard lock(mutex_);
    const Rect c = Intersect(r, Rect{0, 0, framebuffer_.width, framebuffer_.height});
    for (int y = c.top; y < c.bottom; ++y)
        for (int x = c.left; x < c.right; ++x) {
            std::uint8_t* p = framebuffer_.Pixel(x, y);
            p[0] = blue;
            p[1] = green;
            p[2] = red;
            p[3] = 0xFF;
        }
}

void FakeScreen::Blit(const Image& img, int x, int y) {
    std::lock_guard lock(mutex_);
    const Rect c = Intersect(Rect{x, y, x + img.width, y + img.height}, Rect{0, 0, framebuffer_.width, framebuffer_.height});
    for (int row = c.top; row < c.bottom; ++row)
        std::copy_n(img.Pixel(c.left - x, row - y), static_cast<std::size_t>(c.Width()) * 4,
                    framebuffer_.Pixel(c.left, row));
}

void FakeScreen::SetPainter(std::function<void(FakeScreen&)> painter) {
    std::lock_guard lock(mutex_);
    painter_ = std::move(painter);
}

int FakeScreen::Captures() {
    std::lock_guard lock(mutex_);
    return captures_;
}

Rect FakeScreen::Bounds() {
    std::lock_guard lock(mutex_);
    return Rect{0, 0, framebuffer_.width, framebuffer_.height};
}

bool FakeScreen::Capture(const Rect& r, Image& out, Rect* clipped) {
    std::function<void(FakeScreen&)> painter;
    {
        std::lock_guard lock(mutex_);
        painter = painter_;
    }
    if (painter) painter(*this);
    std::lock_guard lock(mutex_);
    ++captures_;
    const Rect c = Intersect(r, Rect{0, 0, framebuffer_.width, framebuffer_.height});
    if (clipped) *clipped = c;
    if (c.Empty()) return false;
    out = Image(c.Width(), c.Height());
    for (int row = c.top; row < c.bottom; ++row)
        std::copy_n(framebuffer_.Pixel(c.left, row), static_cast<std::size_t>(c.Width()) * 4, out.Pixel(0, row - c.top));
    return true;
}

// ---- FakeKeyboard

void FakeKeyboard::Tap(int vk) {
    std::lock_guard lock(mutex_);
    latched_.insert(vk);
}

void FakeKeyboard::SetDown(int vk, bool down) {
    std::lock_guard lock(mutex_);
    if (down) {
        down_.insert(vk);
        latched_.insert(vk);
    } else {
        down_.erase(vk);
    }
}

KeyState FakeKeyboard::Query(int vk) {
    std::lock_guard lock(mutex_);
    KeyState s{down_.count(vk) != 0, latched_.count(vk) != 0};
    latched_.erase(vk);
    return s;
}

// ---- FakeRegistry

std::optional<std::uint32_t> FakeRegistry::ReadDword(std::string_view name) {
    std::lock_guard lock(mutex_);
    auto it = dwords_.find(name);
    if (it == dwords_.end()) return std::nullopt;
    return it->second;
}

bool FakeRegistry::WriteDword(std::string_view name, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    dwords_[std::string(name)] = value;
    return true;
}

std::optional<std::string> FakeRegistry::ReadString(std::string_view name) {
    std::lock_guard lock(mutex_);
    auto it = strings_.find(name);
    if (it == strings_.end()) return std::nullopt;
    return it->second;
}

void FakeRegistry::SetString(const std::string& name, const std::string& value) {
    std::lock_guard lock(mutex_);
    strings_[name] = value;
}

void FakeRegistry::Remove(const std::string& name) {
    std::lock_guard lock(mutex_);
    dwords_.erase(name);
    strings_.erase(name);
}

// ---- FakePrograms

bool FakePrograms::Start(const std::string& path, const std::vector<std::string>& args) {
    std::lock_guard lock(mutex_);
    started_.push_back(Call{path, args});
    return files_.count(path) != 0;
}

bool FakePrograms::Open(const std::string& documentOrUrl) {
    std::lock_guard lock(mutex_);
    opened_.push_back(documentOrUrl);
    return true;
}

bool FakePrograms::FileExists(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_.count(path) != 0;
}

void FakePrograms::AddFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    files_.insert(path);
}

void FakePrograms::RemoveFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    files_.erase(path);
}

std::vector<FakePrograms::Call> FakePrograms::Started() {
    std::lock_guard lock(mutex_);
    return started_;
}

std::vector<std::string> FakePrograms::Opened() {
    std::lock_guard lock(mutex_);
    return opened_;
}

// ---- FakeSound, FakeNotices, FakeSystemTime, FakePower

void FakeSound::Play(int promptId) {
    std::lock_guard lock(mutex_);
    played_.push_back(promptId);
}

std::vector<int> FakeSound::Played() {
    std::lock_guard lock(mutex_);
    return played_;
}

void FakeNotices::Show(std::string_view text, std::string_view caption) {
    std::lock_guard lock(mutex_);
    shown_.emplace_back(std::string(text), std::string(caption));
}

std::vector<std::pair<std::string, std::string>> FakeNotices::Shown() {
    std::lock_guard lock(mutex_);
    return shown_;
}

bool FakeSystemTime::SetUtc(std::int64_t epochSeconds) {
    std::lock_guard lock(mutex_);
    sets_.push_back(epochSeconds);
    return result_;
}

std::vector<std::int64_t> FakeSystemTime::Sets() {
    std::lock_guard lock(mutex_);
    return sets_;
}

void FakeSystemTime::SetResult(bool ok) {
    std::lock_guard lock(mutex_);
    result_ = ok;
}

void FakePower::KeepAwake(bool on) {
    std::lock_guard lock(mutex_);
    awake_ = on;
}

bool FakePower::Awake() {
    std::lock_guard lock(mutex_);
    return awake_;
}

// ---- FakeSingleInstance

FakeSingleInstance::LockTable FakeSingleInstance::NewTable() {
    return std::make_shared<std::pair<std::mutex, std::set<std::string>>>();
}

FakeSingleInstance::FakeSingleInstance(LockTable table) : table_(std::move(table)) {}

FakeSingleInstance::~FakeSingleInstance() {
    std::lock_guard lock(table_->first);
    for (auto& name : held_) table_->second.erase(name);
}

bool FakeSingleInstance::TryAcquire(std::string_view name) {
    std::lock_guard lock(table_->first);
    const std::string key(name);
    if (std::find(held_.begin(), held_.end(), key) != held_.end()) return true;
    if (!table_->second.insert(key).second) return false;
    held_.push_back(key);
    return true;
}

// ---- FakePlatform

FakePlatform::FakePlatform(LocalTime start) : clock(start), desktop(&clock) {}

Platform FakePlatform::Get() {
    return Platform{clock, clock, desktop, screen, keyboard, registry, programs, sound, notices, systemTime, power, singleInstance};
}

}  // namespace kestrava::platform::fake
