// paramdoc FILE writes the parameter reference to FILE; paramdoc --check FILE exits with 1 and
// says so when FILE is not what paramdoc would write.
#include "FileAccess.h"
#include "ParameterListing.h"
#include "Text.h"

#include <cstdio>
#include <string>

namespace {

int Usage() {
    std::fputs("Usage: paramdoc FILE | paramdoc --check FILE\n", stderr);
    return 2;
}

// The first line on which the two texts differ, counted from 1.
size_t FirstDifferentLine(const std::string& a, const std::string& b) {
    size_t line = 1;
    for (size_t i = 0; i < a.size() && i < b.size() && a[i] == b[i]; ++i) {
        line += a[i] == '\n' ? 1 : 0;
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (!(argc == 2 && argv[1][0] != '-') && !check) {
        return Usage();
    }
    const std::string file = argv[argc - 1];
    const std::string reference = vexctl::ParameterReference();
    if (check) {
        const vexctl::FileContent committed = vexctl::ReadFileReporting(vexctl::PathFromUtf8(file));
        if (!committed.text) {
            std::fprintf(stderr, "paramdoc: cannot read %s: %s\n", file.c_str(),
                         committed.reason.c_str());
            return 1;
        }
        // Line ends as a checkout may have them.
        std::string plain;
        for (const char c : *committed.text) {
            if (c != '\r') {
                plain.push_back(c);
            }
        }
        if (plain != reference) {
            std::fprintf(stderr,
                         "paramdoc: %s is not current (first difference on line %zu); run "
                         "paramdoc %s to write it again\n",
                         file.c_str(), FirstDifferentLine(plain, reference), file.c_str());
            return 1;
        }
        return 0;
    }
    try {
        vexctl::WriteFileReplacing(vexctl::PathFromUtf8(file), reference);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "paramdoc: %s\n", error.what());
        return 1;
    }
    return 0;
}
