// The message tables of all modules, the registry that start-up fills with
// them, name and code resolution, and the `mvx msg` command that shows them.
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libmvx.h"
#include "support/fixture.h"
#include "support/tempdir.h"
#include "unl/unl_int.h"

namespace {

struct Expected {
    std::string name; // full message name
    uint32_t code;
    uint32_t exc_class;
    std::string text; // as stored, flag character first
};

// Every message of the library with its code, exception class and stored
// text, from tests/data/messages.tsv. Where a module's messages have no
// fixed numbers (most of MDA's, all of UGN's), the numbers are the ones its
// header documents.
std::vector<Expected> ReadMessages() {
    std::vector<Expected> out;
    std::ifstream in(std::string(MVX_TEST_DATA_DIR) + "/messages.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, code, exc_class, escaped, text;
        std::getline(fields, name, '\t');
        std::getline(fields, code, '\t');
        std::getline(fields, exc_class, '\t');
        std::getline(fields, escaped);
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] != '\\' || i + 1 == escaped.size()) {
                text += escaped[i];
                continue;
            }
            const char c = escaped[++i];
            text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        }
        out.push_back({name, static_cast<uint32_t>(std::stoul(code, nullptr, 0)),
                       static_cast<uint32_t>(std::stoul(exc_class)), text});
    }
    return out;
}

struct Module {
    int number;
    const char* code;
    int count;
};

// Registered by mvx_Initialize; UNL (24, 3 messages) only by unl_Initialize.
const Module kStartUpModules[] = {
    {0, "MVX", 13},  {1, "MPM", 13},  {2, "OLM", 5},   {3, "OTM", 9},  {4, "OSM", 3},
    {5, "OQM", 3},   {6, "EAM", 3},   {8, "DDF", 9},   {9, "MDA", 47}, {10, "UGN", 17},
    {11, "MTH", 14}, {12, "EVM", 3},  {13, "FMT", 22}, {16, "HDB", 1}, {17, "CFG", 64},
    {18, "DOF", 10}, {19, "MAP", 38},
};

class Registry : public mvxtest::LibraryTest {};

TEST_F(Registry, HoldsExactlyTheStartUpModulesAndTheirCounts) {
    std::map<int, const Module*> expected;
    for (const Module& m : kStartUpModules)
        expected[m.number] = &m;
    const MVX_MODULE empty{};
    for (int slot = 0; slot < MVX_MAX_MODULES; ++slot) {
        const MVX_MODULE& mod = mvx__Table[slot];
        auto it = expected.find(slot);
        if (it == expected.end()) {
            EXPECT_EQ(std::memcmp(&mod, &empty, sizeof empty), 0) << slot;
            continue;
        }
        EXPECT_EQ(mod.module, slot);
        EXPECT_EQ(mod.count, it->second->count) << slot;
        EXPECT_EQ(mod.reserved, 0) << slot;
        EXPECT_STREQ(mod.code, it->second->code) << slot;
    }
}

// Every message: its table entry (name, exception class, stored text), its
// name resolved to its code and back, its text without the flag character
// (whatever that character is: MTH's and UNL's texts lose their first
// letter), and the header macro of that name with that value. Each module
// lists as many messages as it registers.
TEST_F(Registry, EveryMessageHasItsNameClassTextCodeAndMacro) {
    mvx__Table[MVX_MODULE_UNL] = unl_Module; // what unl_Initialize does first of all
    std::map<std::string, uint32_t> macros;  // "#define NAME number" of every public header
    for (const auto& entry : std::filesystem::directory_iterator(std::string(MVX_TEST_DATA_DIR) +
                                                                 "/../../include/mvx")) {
        std::ifstream in(entry.path());
        std::string line, define, name, value;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            if (words >> define >> name >> value && define == "#define" &&
                std::isdigit(static_cast<unsigned char>(value[0])) != 0) {
                macros[name] = static_cast<uint32_t>(std::stoul(value, nullptr, 0));
            }
        }
    }
    std::map<uint32_t, int> listed; // messages listed per module number
    const std::vector<Expected> messages = ReadMessages();
    ASSERT_GT(messages.size(), 250u);
    for (const Expected& e : messages) {
        SCOPED_TRACE(e.name);
        const uint32_t module = e.code >> 16, number = e.code & 0xFFFFu;
        ++listed[module];
        ASSERT_LT(module, static_cast<uint32_t>(MVX_MAX_MODULES));
        const MVX_MODULE& mod = mvx__Table[module];
        ASSERT_NE(mod.code, nullptr);
        EXPECT_EQ(e.name.substr(0, e.name.find('_')), mod.code);
        ASSERT_TRUE(number >= 1 && number <= static_cast<uint32_t>(mod.count));
        const MVX_MSGNAME& entry = mod.names[number - 1];
        EXPECT_EQ(entry.name, e.name.substr(std::strlen(mod.code) + 1));
        EXPECT_EQ(entry.exc_class, e.exc_class);
        ASSERT_EQ(entry.text_index, static_cast<int32_t>(number - 1));
        EXPECT_EQ(mod.texts[entry.text_index], e.text);
        uint32_t code = 0;
        EXPECT_EQ(mvx_GetMsgDefine(e.name.c_str(), &code), 0);
        EXPECT_EQ(code, e.code);
        EXPECT_EQ(mpm_GetMsgName(static_cast<int32_t>(e.code)), e.name);
        char* body = nullptr;
        mpm_GetMessage(MPM_RAW_TEXT, static_cast<int32_t>(e.code), &body);
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(body, e.text.substr(1));
        mvx_Free(0, body);
        EXPECT_EQ(macros.count(e.name), 1u);
        EXPECT_EQ(macros[e.name], e.code);
    }
    for (int slot = 0; slot < MVX_MAX_MODULES; ++slot)
        EXPECT_EQ(listed[static_cast<uint32_t>(slot)], mvx__Table[slot].count) << "module " << slot;
    char* text = nullptr;
    mpm_GetMessage(0, UNL_INVALID_INDEX_ERR, &text, 3, 95);
    EXPECT_STREQ(text, "he index 3 or 95 is too large or too small for the array.\n");
    mvx_Free(0, text);
}

// `mvx msg`: one plain and one extended message (by name, hex and decimal
// code), a module table by code and number, and every kind of refusal.
TEST(MvxMsg, ShowsMessagesAndTablesAndRejectsBadRequests) {
    const std::string plain = "OTM_INVALIDSIZE\n"
                              "  code:      0x30002\n"
                              "  module:    3 (OTM)\n"
                              "  exception: 1 (EXC_NONE)\n"
                              "  kind:      plain\n"
                              "  text:      \" Invalid size = %d\\n\"\n"
                              "  body:      \"Invalid size = %d\\n\"\n";
    const std::string eam = "EAM: module 6, 3 messages\n"
                            "  0x60001    1  EAM_NULLPOINTER  \" NULL pointer\\n\"\n"
                            "  0x60002    2  EAM_NOMEMORY     \" Out of memory\\n\"\n"
                            "  0x60003    1  EAM_INVALIDSIZE  \" Invalid size = %d\\n\"\n";
    const struct {
        const char* args;
        int status;
        std::string out; // "" with a refusal: not compared
    } cases[] = {
        {"msg OTM_INVALIDSIZE", 0, plain},
        {"msg 0x30002", 0, plain},
        {"msg 196610", 0, plain},
        {"msg FMT_MDA_ORIG", 0,
         "FMT_MDA_ORIG\n  code:      0xD0016\n  module:    13 (FMT)\n  exception: 1 (EXC_NONE)\n"
         "  kind:      extended\n  text:      \"+MDA %s model:entity %<PTR>\"\n"
         "  body:      \"MDA %s model:entity %<PTR>\"\n"},
        {"msg --module EAM", 0, eam},
        {"msg --module 6", 0, eam},
        {"msg OTM_NOSUCH", 1, ""},
        {"msg NONAME", 1, ""},
        {"msg 0x3000A", 1, ""},
        {"msg 0x70001", 1, ""},
        {"msg --module XYZ", 1, ""},
        {"msg", 2, ""},
        {"msg 12zz", 2, ""},
    };
    for (const auto& c : cases) {
        const mvxtest::ToolRun run = mvxtest::RunTool(
            c.args, c.status == 0 ? mvxtest::ToolStreams::kStdout : mvxtest::ToolStreams::kBoth);
        EXPECT_EQ(run.status, c.status) << c.args;
        if (c.status == 0) {
            EXPECT_EQ(run.out, c.out) << c.args;
        }
    }
    EXPECT_NE(
        mvxtest::RunTool("msg OTM_NOSUCH", mvxtest::ToolStreams::kBoth).out.find("OTM_NOSUCH"),
        std::string::npos);
}

} // namespace
