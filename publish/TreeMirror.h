#pragma once
// A resource tree seen through a folder of its own: the same folders, each file
// a symbolic link to the tree's. A publication into the mirror reads the tree
// and writes only the mirror (every file is written under a temporary name and
// renamed, which replaces a link, never its target). For a dry run.
#include <string>

namespace fl {

class CTreeMirror {
public:
    // Mirrors `tree` (which may not exist yet) in a new folder below $TMPDIR.
    explicit CTreeMirror(const std::string& tree);
    ~CTreeMirror();
    CTreeMirror(const CTreeMirror&) = delete;
    CTreeMirror& operator=(const CTreeMirror&) = delete;

    bool Ok() const { return m_bOk; }
    const std::string& Path() const { return m_strPath; }
    const std::string& Why() const { return m_strWhy; }
    // A message about the mirror, about the tree instead.
    std::string Unmirrored(std::string text) const;

private:
    std::string m_strTree, m_strPath, m_strWhy;
    bool m_bOk = false;
};

}  // namespace fl
