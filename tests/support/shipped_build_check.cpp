// Linked into every test program: before the first test it makes sure that what the tests run
// and launch is the shipped 32-bit build, and says in which Windows setting it runs; every
// launch without the trace switch that leaves a launch trace behind fails its test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "support/harness.h"

namespace {

// Machine and optional-header magic of a PE file; 0 when the file is not one.
void readPeHeader(const std::string& bytes, WORD& machine, WORD& magic) {
    machine = magic = 0;
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return;
    DWORD offset = 0;
    std::memcpy(&offset, bytes.data() + 0x3C, sizeof offset);
    if (offset > bytes.size() || bytes.size() - offset < 4 + 20 + 2) return;
    if (std::memcmp(bytes.data() + offset, "PE\0\0", 4) != 0) return;
    std::memcpy(&machine, bytes.data() + offset + 4, sizeof machine);
    std::memcpy(&magic, bytes.data() + offset + 4 + 20, sizeof magic);
}

class ShippedBuildCheck : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string exe = harness::korvoExe();
        WORD machine = 0, magic = 0;
        readPeHeader(harness::readFile(exe), machine, magic);
        std::printf("Korvo.exe under test: %s, machine 0x%04x, %s; test program %d-bit, on %s\n",
                    exe.c_str(), machine, magic == 0x10b ? "PE32" : "not PE32",
                    static_cast<int>(sizeof(void*) * 8),
                    harness::underWow64() ? "64-bit Windows (WOW64)" : "32-bit Windows");
        ASSERT_EQ(machine, IMAGE_FILE_MACHINE_I386) << "not the shipped 32-bit build";
        ASSERT_EQ(magic, 0x10b) << "not a PE32 image";
        // The in-process tests run the product's code compiled into this program.
        ASSERT_EQ(sizeof(void*), 4u) << "the test program is not the 32-bit build";
    }
};

void failStrayTrace(const std::string& traceFile) {
    ADD_FAILURE() << "a launch without KORVO_TRACE wrote " << traceFile;
}

[[maybe_unused]] const bool strayTraceFails = (harness::untracedLaunchWroteTrace = failStrayTrace, true);

[[maybe_unused]] const ::testing::Environment* const shippedBuildCheck =
    ::testing::AddGlobalTestEnvironment(new ShippedBuildCheck);

}  // namespace
