#include "publish/TreeMirror.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Folders.h"

namespace fl {

namespace fs = std::filesystem;

namespace {

// A temporary file a publication left behind: written to by name, so never linked.
bool IsTemporaryName(const std::string& name) {
    for (const std::string suffix : {".publishing", ".saving"})
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) return true;
    return false;
}

}  // namespace

CTreeMirror::CTreeMirror(const std::string& tree) : m_strTree(tree) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fenwa-publish-dry-run-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        m_strWhy = "cannot make a folder for the dry run in " + ParentOf(pattern);
        return;
    }
    m_strPath = pattern;
    std::error_code ec;
    if (!fs::exists(tree, ec)) {
        m_bOk = true;
        return;
    }
    for (auto it = fs::recursive_directory_iterator(tree, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path inMirror = fs::path(m_strPath) / fs::relative(it->path(), tree);
        const fs::file_status st = it->symlink_status();
        if (fs::is_symlink(st) && fs::is_directory(it->path(), ec)) {
            // A write below it would reach past the mirror.
            m_strWhy = "the tree links to a folder (" + it->path().string() + "): a dry run cannot keep it unchanged";
            return;
        }
        if (fs::is_directory(st)) fs::create_directory(inMirror, ec);
        else if (!IsTemporaryName(it->path().filename().string())) fs::create_symlink(it->path(), inMirror, ec);
        if (ec) break;
    }
    if (ec) m_strWhy = "cannot mirror " + tree + " for the dry run: " + ec.message();
    m_bOk = !ec;
}

std::string CTreeMirror::Unmirrored(std::string text) const {
    if (m_strPath.empty()) return text;
    for (size_t at; (at = text.find(m_strPath)) != std::string::npos;) text.replace(at, m_strPath.size(), m_strTree);
    return text;
}

CTreeMirror::~CTreeMirror() {
    std::error_code ec;
    if (!m_strPath.empty()) fs::remove_all(m_strPath, ec);  // the links, never what they point at
}

}  // namespace fl
