#include "convert/batch/batch_output.h"

#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace orvane {
namespace {

namespace fs = std::filesystem;

// The directory as a normalised path without a trailing separator, so that "/a/b/" and
// "/a/b" compare equal element by element.
fs::path DirectoryPath(const std::string& dir) {
  fs::path path = fs::path(dir).lexically_normal();
  if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) {
    path = path.parent_path();
  }
  return path;
}

// The item's folder relative to the target directory; empty when the item lies directly in
// it or outside it (then it goes directly into the save directory).
fs::path RelativeFolder(const std::string& itemPath, const std::string& targetDir) {
  if (targetDir.empty()) return {};
  const fs::path folder = fs::path(itemPath).lexically_normal().parent_path();
  const fs::path relative = folder.lexically_relative(DirectoryPath(targetDir));
  if (relative.empty() || relative == ".") return {};
  if (*relative.begin() == "..") return {};
  return relative;
}

}  // namespace

std::string OutputPathOf(const BatchItem& item, const std::string& targetDir,
                         const std::string& saveDir, std::string_view extension) {
  if (item.m_strName.size() < 3) return {};
  std::string name = item.m_strName.substr(0, item.m_strName.size() - 3);
  name.append(extension);
  std::string path = WithTrailingSeparator(saveDir);
  const fs::path relative = RelativeFolder(item.m_strPath, targetDir);
  if (!relative.empty()) path += WithTrailingSeparator(relative.string());
  return path + name;
}

std::vector<PlannedOutput> PlanOutputs(const std::vector<BatchItem>& items,
                                       const std::string& targetDir, const std::string& saveDir,
                                       std::string_view extension) {
  std::vector<PlannedOutput> outputs;
  outputs.reserve(items.size());
  std::unordered_set<std::string> seen;
  for (const BatchItem& item : items) {
    PlannedOutput output;
    output.path = OutputPathOf(item, targetDir, saveDir, extension);
    // Paths are compared after normalisation so that "save//a.pqz" and "save/a.pqz" count
    // as one file.
    output.taken = output.path.empty() ||
                   !seen.insert(fs::path(output.path).lexically_normal().string()).second;
    if (output.path.empty()) output.path = WithTrailingSeparator(saveDir) + item.m_strName;
    outputs.push_back(std::move(output));
  }
  return outputs;
}

bool MakeOutputFolder(const std::string& outputPath) {
  const fs::path folder = fs::path(outputPath).parent_path();
  if (folder.empty()) return true;
  std::error_code error;
  fs::create_directories(folder, error);
  return fs::is_directory(folder, error);
}

}  // namespace orvane
