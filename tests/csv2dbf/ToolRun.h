#pragma once

// Runs the keepers' tools as a user would, through the shell, in a
// directory of their own.

#include "catalogue/Columns.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace tooltest {

namespace fs = std::filesystem;

inline void writeFile(const fs::path &p, const std::string &bytes) { std::ofstream(p, std::ios::binary) << bytes; }

inline std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string commandLine(const std::string &program, const std::vector<std::string> &args)
{
    std::string cmd = "'" + program + "'";
    for (const auto &a : args)
        cmd += " '" + a + "'";
    return cmd;
}

inline std::string header()
{
    std::string s;
    for (const auto &c : vestor::kItemColumns) {
        if (!s.empty())
            s += ',';
        s += c.name;
    }
    return s;
}

// One CSV line: a plain level-1 ring unless `cells` says otherwise. Values
// are inserted verbatim, so callers quote them when the test needs it.
inline std::string row(const std::map<std::string, std::string> &cells = {})
{
    std::map<std::string, std::string> v = {
        {"TYPE", "ring"}, {"NAME", "Кольцо"}, {"PRICE", "10"}, {"RACE", "No"}, {"UROV", "1"}};
    for (const auto &[k, val] : cells)
        v[k] = val;
    std::string s;
    for (std::size_t i = 0; i < vestor::kItemColumns.size(); ++i) {
        const auto it = v.find(vestor::kItemColumns[i].name);
        if (i)
            s += ',';
        s += it == v.end() ? std::string("0") : it->second;
    }
    return s;
}

class ToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("vestor_tool_test_" + std::to_string(rd()));
        fs::create_directories(dir_ / "io");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs `command` through sh; its output goes beside, not inside, the
    // directory the tests inspect. `stdoutTo` replaces the capture of stdout.
    RunResult shell(const std::string &command, const std::string &stdoutTo = {})
    {
        const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
        const std::string redirect = stdoutTo.empty() ? " > '" + out.string() + "'" : " " + stdoutTo;
        const int raw = std::system(("{ " + command + "; }" + redirect + " 2> '" + err.string() + "'").c_str());
        RunResult r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = stdoutTo.empty() ? readFile(out) : std::string();
        r.err = readFile(err);
        return r;
    }

    std::set<std::string> filesInIo() const
    {
        std::set<std::string> names;
        for (const auto &e : fs::directory_iterator(io()))
            names.insert(e.path().filename().string());
        return names;
    }

    fs::path io() const { return dir_ / "io"; }

    fs::path dir_;
};

} // namespace tooltest
