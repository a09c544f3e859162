// Registry reads against the real registry of the test prefix: every value that does not fit
// or is not a string leaves the destination as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "base/registry.h"
#include "support/harness.h"

using namespace harness;

namespace {

const char kKey[] = "SOFTWARE\\Halvesta";

class RegistryRead : public ::testing::Test {
protected:
    Registry registry;

    // Reads name into a buffer of capacity bytes prefilled with "untouched".
    bool read(const char* name, size_t capacity, std::string& result) {
        std::vector<char> buffer(capacity + 1, '\x7f');
        std::memcpy(buffer.data(), "untouched", capacity >= 10 ? 10 : 0);
        HKEY key = nullptr;
        if (!openMachineKey(kKey, &key)) return false;
        const bool ok = readRegistryValue(key, name, buffer.data(), capacity);
        RegCloseKey(key);
        EXPECT_EQ(buffer[capacity], '\x7f') << "wrote past the buffer";
        result = buffer.data();
        return ok;
    }
};

}  // namespace

TEST_F(RegistryRead, StringValuesAreReadAsStored) {
    registry.setString(kKey, "plain", "C:\\Program Files\\Java");
    registry.setRaw(kKey, "expand", REG_EXPAND_SZ, std::string("%ProgramFiles%\\Java", 20));
    registry.setString(kKey, "empty", "");
    std::string value;
    ASSERT_TRUE(read("plain", 1024, value));
    EXPECT_EQ(value, "C:\\Program Files\\Java");
    ASSERT_TRUE(read("expand", 1024, value));
    EXPECT_EQ(value, "%ProgramFiles%\\Java");
    ASSERT_TRUE(read("empty", 1024, value));
    EXPECT_EQ(value, "");
}

TEST_F(RegistryRead, UnreadableValuesLeaveTheBufferAlone) {
    registry.setDword(kKey, "dword", 42);
    registry.setRaw(kKey, "binary", REG_BINARY, "C:\\bin");
    registry.setString(kKey, "huge", std::string(64 * 1024, 'x'));
    registry.setString(kKey, "oneTooMany", std::string(1024, 'y'));
    std::string value;
    for (const char* name : {"missing", "dword", "binary", "huge", "oneTooMany"}) {
        EXPECT_FALSE(read(name, 1024, value)) << name;
        EXPECT_EQ(value, "untouched") << name;
    }
}

TEST_F(RegistryRead, CapacityIncludesTheTerminator) {
    registry.setString(kKey, "fits", std::string(1023, 'z'));
    registry.setString(kKey, "version79", std::string(79, 'v'));
    registry.setString(kKey, "version80", std::string(80, 'v'));
    std::string value;
    ASSERT_TRUE(read("fits", 1024, value));
    EXPECT_EQ(value.size(), 1023u);
    ASSERT_TRUE(read("version79", 80, value));
    EXPECT_EQ(value.size(), 79u);
    EXPECT_FALSE(read("version80", 80, value));
    EXPECT_EQ(value, "untouched");
}

TEST_F(RegistryRead, StringWithoutTerminatorIsTerminated) {
    registry.setRaw(kKey, "unterminated", REG_SZ, "C:\\Java");
    registry.setRaw(kKey, "unterminatedFull", REG_SZ, std::string(80, 'u'));
    std::string value;
    ASSERT_TRUE(read("unterminated", 1024, value));
    EXPECT_EQ(value, "C:\\Java");
    // No room left for the terminator: unreadable, never overrun.
    EXPECT_FALSE(read("unterminatedFull", 80, value));
    EXPECT_EQ(value, "untouched");
}

// Path values are read in their wide form: one the ANSI code page (1252 here) cannot express,
// and that has no short form (it does not exist), is unreadable, like any value that does not fit.
TEST_F(RegistryRead, PathValuesAreTheirExactTextOrUnreadable) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvesta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"C:\\Caf\u00e9\\Java", "C:\\Caf\xe9\\Java"},
        {L"\\\\?\\C:\\Java", "C:\\Java"},
        {L"C:\\nowhere\\\u0141ukasz", nullptr},
    };
    for (const auto& c : cases) {
        RegSetValueExW(key, L"path", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.first),
                       static_cast<DWORD>((wcslen(c.first) + 1) * sizeof(wchar_t)));
        char buffer[1024] = "untouched";
        EXPECT_EQ(readRegistryPath(key, "path", buffer, sizeof buffer), c.second != nullptr);
        EXPECT_STREQ(buffer, c.second ? c.second : "untouched");
    }
    RegCloseKey(key);
}
