// Runs quorvexctl as a user would: a child process with its own environment, standard input
// and captured standard output, standard error and exit status.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace cli_test {

struct Result {
    int status = -1;  // exit status, or -1 when the tool did not exit normally
    std::string out, err;
    nlohmann::ordered_json json() const;  // standard output parsed (fails the test if it is not JSON)
};

// Standard output of the child as a pipe whose reader has already gone.
inline constexpr const char* kClosedPipe = "|closed";

// `simulate` is QUORVEX_SIMULATE for the child ("" leaves it unset); with `stdout_path` its
// standard output goes to that file (or kClosedPipe). Standard input is empty.
Result quorvexctl(const std::vector<std::string>& args, const std::string& simulate,
                  const std::string& stdout_path = {});
// The same with standard output and standard error on a terminal (a pseudo-terminal whose
// output lands in Result::out).
Result quorvexctl_on_terminal(const std::vector<std::string>& args, const std::string& simulate);

// A fresh directory for one test, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::string& path);

}  // namespace cli_test
