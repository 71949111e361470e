#pragma once
// The stand-in's host: the host core's model and command line, and the command history its
// window shows. Texts are UTF-8.

#include <filesystem>
#include <string>
#include <vector>

#include "cadhost/core/commandline.h"
#include "cadhost/core/hosterror.h"
#include "cadhost/core/hostmodel.h"

namespace quorvel::cadhost::standin {

using core::Document;
using core::pathText;
using core::Release;
using core::SelectionSet;

// A refused argument or call of the stand-in's own; the message is for the user.
class HostFailure : public core::HostError {
public:
    explicit HostFailure(const std::string& message)
        : core::HostError(core::HostErrorKind::InvalidArgument, message) {}
};

class StandinHost : private core::ModelObserver,
                    private core::CommandLineObserver,
                    public core::HostModel {
public:
    // Recovery copies go to `recoveryFolder`, numbered.
    StandinHost(Release release, const std::filesystem::path& templatePath,
                const std::filesystem::path& recoveryFolder)
        : core::HostModel(release, templatePath, this) {
        setRecoveryCopies(recoveryFolder);
    }

    const std::vector<std::string>& history() const { return history_; }

    core::CommandLine commandLine{*this, this};

private:
    void notice(const std::string& line) override { history_.push_back(line); }
    void lineEchoed(const std::string& line) override { history_.push_back(line); }

    std::vector<std::string> history_;
};

}  // namespace quorvel::cadhost::standin
