// The message tables of all modules, the registry that start-up fills with
// them, name and code resolution, and the `mvx msg` command that shows them.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/fixture.h"
#include "support/tempdir.h"
#include "unl/unl_int.h"

namespace {

using Registry = mvxtest::LibraryTest;

// Every message of tests/data/messages.tsv: its table entry, its name
// resolved to its code and back, its text without the flag character, and
// the header macro of its name. Each module registered at start-up (not UNL)
// lists as many messages as it registers; every other slot is empty.
TEST_F(Registry, EveryMessageHasItsNameClassTextCodeAndMacro) {
    EXPECT_EQ(mvx__Table[MVX_MODULE_UNL].code, nullptr);
    mvx__Table[MVX_MODULE_UNL] = unl_Module; // what unl_Initialize does first of all
    std::map<std::string, uint32_t> macros;  // "#define NAME number" of every public header
    const std::string data = MVX_TEST_DATA_DIR;
    for (const auto& entry : std::filesystem::directory_iterator(data + "/../../include/mvx")) {
        std::ifstream in(entry.path());
        std::string line, define, name, value;
        while (std::getline(in, line))
            if (std::istringstream(line) >> define >> name >> value && define == "#define" &&
                value[0] >= '0' && value[0] <= '9')
                macros[name] = static_cast<uint32_t>(std::stoul(value, nullptr, 0));
    }
    std::map<uint32_t, int> listed; // messages listed per module number
    std::ifstream in(data + "/messages.tsv");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, code, exc_class, escaped;
        std::getline(std::getline(std::getline(fields, name, '\t'), code, '\t'), exc_class, '\t');
        std::getline(fields, escaped);
        SCOPED_TRACE(name);
        std::string text;
        for (size_t i = 0; i < escaped.size(); ++i) {
            const char c = escaped[i] == '\\' ? escaped[++i] : 0;
            text += c == 'n' ? '\n' : c == 't' ? '\t' : c != 0 ? c : escaped[i];
        }
        const auto value = static_cast<uint32_t>(std::stoul(code, nullptr, 0));
        const uint32_t module = value >> 16, number = value & 0xFFFFu;
        ++listed[module];
        ASSERT_LT(module, static_cast<uint32_t>(MVX_MAX_MODULES));
        const MVX_MODULE& mod = mvx__Table[module];
        ASSERT_NE(mod.code, nullptr);
        EXPECT_TRUE(mod.module == static_cast<int32_t>(module) && mod.reserved == 0);
        ASSERT_EQ(name.substr(0, name.find('_')), mod.code);
        ASSERT_TRUE(number >= 1 && number <= static_cast<uint32_t>(mod.count));
        const MVX_MSGNAME& entry = mod.names[number - 1];
        EXPECT_EQ(entry.name, name.substr(std::strlen(mod.code) + 1));
        EXPECT_EQ(entry.exc_class, std::stoul(exc_class));
        ASSERT_EQ(entry.text_index, static_cast<int32_t>(number - 1));
        EXPECT_EQ(mod.texts[entry.text_index], text);
        uint32_t resolved = 0;
        EXPECT_EQ(mvx_GetMsgDefine(name.c_str(), &resolved), 0);
        EXPECT_EQ(resolved, value);
        EXPECT_EQ(mpm_GetMsgName(static_cast<int32_t>(value)), name);
        char* body = nullptr;
        mpm_GetMessage(MPM_RAW_TEXT, static_cast<int32_t>(value), &body);
        EXPECT_EQ(body, text.substr(1)); // whatever the flag: MTH's and UNL's lose a letter
        mvx_Free(0, body);
        EXPECT_EQ(macros.count(name) == 0 ? ~0u : macros[name], value);
    }
    for (uint32_t slot = 0; slot < MVX_MAX_MODULES; ++slot) // the others are empty
        EXPECT_TRUE(listed[slot] == mvx__Table[slot].count &&
                    (listed[slot] != 0) == (mvx__Table[slot].code != nullptr))
            << "module " << slot;
}

// `mvx msg`: a plain and two extended messages with their samples (by name,
// hex and decimal code), a module table by code and number, and every kind
// of refusal.
TEST(MvxMsg, ShowsMessagesAndTablesAndRejectsBadRequests) {
    const std::string plain = "OTM_INVALIDSIZE\n  code:      0x30002\n  module:    3 (OTM)\n"
                              "  exception: 1 (EXC_NONE)\n  kind:      plain\n"
                              "  text:      \" Invalid size = %d\\n\"\n"
                              "  body:      \"Invalid size = %d\\n\"\n"
                              "  sample:    \"Invalid size = 42\\n\"\n";
    const std::string eam = "EAM: module 6, 3 messages\n"
                            "  0x60001    1  EAM_NULLPOINTER  \" NULL pointer\\n\"\n"
                            "  0x60002    2  EAM_NOMEMORY     \" Out of memory\\n\"\n"
                            "  0x60003    1  EAM_INVALIDSIZE  \" Invalid size = %d\\n\"\n";
    const struct {
        const char* args;
        int status;
        std::string out; // all of it, or a part of a refusal
    } cases[] = {
        {"msg OTM_INVALIDSIZE", 0, plain},
        {"msg 0x30002", 0, plain},
        {"msg 196610", 0, plain}, // decimal
        {"msg FMT_MDA_ORIG", 0,
         "FMT_MDA_ORIG\n  code:      0xD0016\n  module:    13 (FMT)\n  exception: 1 (EXC_NONE)\n"
         "  kind:      extended\n  text:      \"+MDA %s model:entity %<PTR>\"\n"
         "  body:      \"MDA %s model:entity %<PTR>\"\n"
         "  sample:    \"MDA text model:entity #1:5\"\n"},
        {"msg FMT_IGES_ORIG", 0,
         "FMT_IGES_ORIG\n  code:      0xD0012\n  module:    13 (FMT)\n  exception: 1 (EXC_NONE)\n"
         "  kind:      extended\n  text:      \"+IGES %<TF> %s DE#%ld\"\n"
         "  body:      \"IGES %<TF> %s DE#%ld\"\n"
         "  sample:    \"IGES 110:0 text DE#42\"\n"},
        {"msg --module EAM", 0, eam},
        {"msg --module 6", 0, eam},
        {"msg OTM_NOSUCH", 1, "OTM_NOSUCH"},
        {"msg NONAME", 1, "NONAME"},
        {"msg 0x3000A", 1, "0x3000A"},
        {"msg 0x70001", 1, "0x70001"},
        {"msg --module XYZ", 1, "XYZ"},
        {"msg", 2, ""},
        {"msg 12zz", 2, "12zz"},
    };
    for (const auto& c : cases) {
        const mvxtest::ToolRun run = mvxtest::RunTool(
            c.args, c.status == 0 ? mvxtest::ToolStreams::kStdout : mvxtest::ToolStreams::kBoth);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_TRUE(c.status == 0 ? run.out == c.out : run.out.find(c.out) != std::string::npos)
            << c.args << ": " << run.out;
    }
}

} // namespace
