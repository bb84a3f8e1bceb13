// docs/simulator.md lists every member a fault takes in its faults section.
#include "support/SimObjects.h"

#include <fstream>
#include <sstream>
#include <string>

using SimFaultDoc = simtest::SimTest;

TEST_F(SimFaultDoc, DocsListEveryMemberAFaultTakes) {
    std::string path = VEX_SOURCE_DIR "/docs/simulator.md";
#ifdef _WIN32
    path = "Z:" + path;  // Wine maps the Linux root to drive Z:
#endif
    std::ifstream file(path);
    ASSERT_TRUE(file) << path;
    std::ostringstream doc;
    doc << file.rdbuf();
    const size_t start = doc.str().find("### Faults");
    ASSERT_NE(std::string::npos, start) << path;
    const std::string section =
        doc.str().substr(start, doc.str().find("\n### ", start + 1) - start);
    // The simulator names the members it reads in its message about one it does not know.
    EXPECT_EQ(-1, vexsim_AddFaults(R"({"method": "*", "result": "S_OK", "x": 1})"));
    const std::string error = vexsim_LastError();
    const size_t lead = error.find("expected one of: ");
    ASSERT_NE(std::string::npos, lead) << error;
    std::istringstream members(error.substr(lead + 17, error.rfind(')') - lead - 17));
    int count = 0;
    for (std::string name; std::getline(members >> std::ws, name, ','); ++count) {
        EXPECT_NE(std::string::npos, section.find("`" + name + "`")) << name << " in " << path;
    }
    EXPECT_GT(count, 10) << error;
}
