#pragma once
// Writes a file so that it is never half written: the new bytes go to a temporary file in the
// same folder, which then takes the file's place. The old content, if any, is kept as `backup`
// (unless that is the file itself). Failures raise DxfError (Kind::Io) and leave the file as it
// was. POSIX and Windows each have their own implementation.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace quorvel::dxf {

using ByteSink = std::function<void(std::string_view)>;

// `shown` names the file in messages; `produce` hands the new content to the sink in pieces.
void replaceFile(const std::filesystem::path& target, const std::filesystem::path& folder,
                 const std::filesystem::path& backup, const std::string& shown,
                 const std::function<void(const ByteSink&)>& produce);

}  // namespace quorvel::dxf
