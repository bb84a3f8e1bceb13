// docs/simulator.md lists the members a fault takes: exactly those the simulator reads.
#include "support/SimObjects.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The names in backquotes in the first column of the table after "Members:" in the faults
// section.
std::vector<std::string> DocumentedMembers(const std::string& doc) {
    std::vector<std::string> names;
    const size_t section = doc.find("### Faults");
    const size_t table = doc.find("| Member |", doc.find("Members:", section));
    if (section == std::string::npos || table == std::string::npos) {
        return names;
    }
    std::istringstream lines(doc.substr(table));
    std::string line;
    while (std::getline(lines, line) && !line.empty() && line[0] == '|') {
        const std::string first = line.substr(0, line.find('|', 1));
        for (size_t open = first.find('`'); open != std::string::npos;
             open = first.find('`', first.find('`', open + 1) + 1)) {
            names.push_back(first.substr(open + 1, first.find('`', open + 1) - open - 1));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The members the simulator reads, from its message about one it does not know.
std::vector<std::string> ReadMembers() {
    EXPECT_EQ(-1, vexsim_AddFaults(R"({"method": "*", "result": "S_OK", "x": 1})"));
    const std::string error = vexsim_LastError();
    const std::string lead = "expected one of: ";
    const size_t start = error.find(lead);
    EXPECT_NE(std::string::npos, start) << error;
    std::istringstream list(
        error.substr(start + lead.size(), error.rfind(')') - start - lead.size()));
    std::vector<std::string> names;
    std::string name;
    while (std::getline(list >> std::ws, name, ',')) {
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class SimFaultDoc : public simtest::SimTest {};

TEST_F(SimFaultDoc, DocsListEveryMemberAFaultTakes) {
    std::string path = VEX_SOURCE_DIR "/docs/simulator.md";
#ifdef _WIN32
    path = "Z:" + path;  // Wine maps the Linux root to drive Z:
#endif
    std::ifstream file(path);
    ASSERT_TRUE(file) << path;
    std::ostringstream doc;
    doc << file.rdbuf();
    const std::vector<std::string> documented = DocumentedMembers(doc.str());
    EXPECT_FALSE(documented.empty()) << "no members table in " << path;
    EXPECT_EQ(ReadMembers(), documented);
}

}  // namespace
