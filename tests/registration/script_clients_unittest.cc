// Real script clients after regsvr32: JScript and VBScript under cscript
// create the Agent by its programmatic identifiers and call Run late-bound.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "support/link_recorder.h"
#include "support/process.h"
#include "support/test_paths.h"

namespace {

const char kJScript[] =
    "var ids = ['Brisvel.Agent', 'Brisvel.Agent.1'];\n"
    "for (var i = 0; i < ids.length; ++i) {\n"
    "  var agent = new ActiveXObject(ids[i]);\n"
    "  agent.Run('ed2k://|file|' + ids[i] + '.iso|1|0123456789ABCDEF0123456789ABCDEF|/');\n"
    "  WScript.Echo(ids[i] + ' accepted');\n"
    "  try {\n"
    "    agent.Run('http://example.invalid/');\n"
    "    WScript.Echo(ids[i] + ' refused: no error');\n"
    "  } catch (e) {\n"
    "    WScript.Echo(ids[i] + ' refused: 0x' + (e.number >>> 0).toString(16));\n"
    "  }\n"
    "}\n";

const char kVbScript[] =
    "For Each id In Array(\"Brisvel.Agent\", \"Brisvel.Agent.1\")\n"
    "  Set agent = CreateObject(id)\n"
    "  agent.Run \"ed2k://|file|vbs-\" & id & \".iso|1|0123456789ABCDEF0123456789ABCDEF|/\"\n"
    "  WScript.Echo id & \" accepted\"\n"
    "  On Error Resume Next\n"
    "  agent.Run \"ftp://example.invalid/\"\n"
    "  WScript.Echo id & \" refused: \" & Err.Number\n"
    "  Err.Clear\n"
    "  On Error GoTo 0\n"
    "Next\n";

std::string RunScript(const std::string& name, const char* text) {
  const std::string path = UniqueFilePath(name, name.substr(name.find('.')));
  std::ofstream(path, std::ios::binary) << text;
  const ProcessResult result = RunProcess("cscript.exe //nologo \"" + path + "\"");
  ::DeleteFileA(path.c_str());
  std::string output;
  for (char c : result.output) {
    if (c != '\r') output += c;
  }
  return output;
}

// The links of honest launches (one argument each), in no particular order:
// the handler processes may finish in any order.
std::set<std::string> Links(const std::vector<RecordedLaunch>& launches) {
  std::set<std::string> links;
  for (const RecordedLaunch& launch : launches) {
    if (launch.argumentCount == 1) links.insert(launch.link);
  }
  return links;
}

class ScriptClientsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0u, RunProcess("regsvr32.exe /s \"" + BrisvelDllPath() + "\"").exitCode);
  }
  static void TearDownTestSuite() {
    RunProcess("regsvr32.exe /u /s \"" + BrisvelDllPath() + "\"");
  }
  LinkRecorder recorder_;  // in the prefix's own HKCR, where cscript looks
};

TEST_F(ScriptClientsTest, JScriptOpensLinksAndSeesTheRefusalCode) {
  const std::string output = RunScript("client.js", kJScript);
  EXPECT_EQ(
      "Brisvel.Agent accepted\n"
      "Brisvel.Agent refused: 0x80070057\n"
      "Brisvel.Agent.1 accepted\n"
      "Brisvel.Agent.1 refused: 0x80070057\n",
      output);
  EXPECT_EQ((std::set<std::string>{
                "ed2k://|file|Brisvel.Agent.iso|1|0123456789ABCDEF0123456789ABCDEF|/",
                "ed2k://|file|Brisvel.Agent.1.iso|1|0123456789ABCDEF0123456789ABCDEF|/"}),
            Links(recorder_.WaitForLaunches(2)));
}

TEST_F(ScriptClientsTest, VbScriptOpensLinksAndReportsTheRefusalAsError5) {
  const std::string output = RunScript("client.vbs", kVbScript);
  EXPECT_EQ(
      "Brisvel.Agent accepted\n"
      "Brisvel.Agent refused: 5\n"
      "Brisvel.Agent.1 accepted\n"
      "Brisvel.Agent.1 refused: 5\n",
      output);
  EXPECT_EQ((std::set<std::string>{
                "ed2k://|file|vbs-Brisvel.Agent.iso|1|0123456789ABCDEF0123456789ABCDEF|/",
                "ed2k://|file|vbs-Brisvel.Agent.1.iso|1|0123456789ABCDEF0123456789ABCDEF|/"}),
            Links(recorder_.WaitForLaunches(2)));
}

}  // namespace
