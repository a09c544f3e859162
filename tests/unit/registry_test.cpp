// Registry reads against the real registry of the test prefix: every value that does not fit
// or is not a string leaves the destination as it was.
#include <gtest/gtest.h>

#include <cstring>

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
