#pragma once
// A test that runs assembled code on a fake host's root clip and collects its traces.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "assembler.h"
#include "fake_host.h"

namespace avm1test {

class ScriptFixture : public ::testing::Test {
protected:
    void makeEngine(int version, Limits limits = {}) {
        host.version = version;
        engine = std::make_unique<Engine>(host, version, limits);
        engine->setTraceSink([this](std::string_view line) { traces.emplace_back(line); });
    }
    // Runs the code on the root clip (in a SWF 8 engine unless one was made); the bytes are
    // kept for the functions defined in them.
    void run(const Asm& code) {
        if (!engine) makeEngine(8);
        blocks.push_back(code.bytes());
        engine->runActions(blocks.back(), host.root);
    }

    FakeHost host;
    std::unique_ptr<Engine> engine;
    std::deque<std::vector<uint8_t>> blocks;
    std::vector<std::string> traces;
};

}  // namespace avm1test
