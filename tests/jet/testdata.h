#pragma once
// Access to the reference databases in tests/data; a test skips when its file is absent.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace jet_test {

inline std::filesystem::path jet4File(const std::string& name)
{
    return std::filesystem::path(TALVORIN_TESTDATA) / "jet4" / name;
}

inline std::vector<std::uint8_t> readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace jet_test

// Skips the test when the reference file is not there.
#define REQUIRE_JET4_FILE(name)                                                   \
    do {                                                                          \
        if (!std::filesystem::exists(jet_test::jet4File(name)))                   \
            GTEST_SKIP() << "reference database " << (name) << " is not present"; \
    } while (0)
