// XML documents in files: the file forms of the tree builder and writer,
// and the file objects that bind one tree to one file.
#pragma once

#include "foundation/KCFileType.h"
#include "foundation/KCStFile.h"
#include "foundation/KCStPath.h"
#include "foundation/XMLElement.h"
#include "foundation/XMLText.h"

namespace kvXML {

// Reads the file in pieces of 4096 bytes into the builder until its
// document element has ended (the rest of the file is not read). An open
// or read failure gives the file manager's status, a parse error
// eXMLParserFailed, and a file that ends before its document element is
// complete eXMLElementIncomplete (the tree keeps what was built).
KTErr BuildFromDataFork(CXMLTreeBuilder& builder, const kvFM::KCStPath& path);

// Writes the text of the builder's root (or of `root`) at the file's
// cursor, all of it or the first failing write's status.
KTErr AppendToOpenFile(const CXMLTreeBuilder& builder, KTOpenFileType* file);
KTErr AppendToOpenFile(const CXMLElement& root, KTOpenFileType* file);

// Replaces the content of an existing file by the text of the builder's
// root (or of `root`): the text goes to a new file beside it that then
// takes its place, so a failed write leaves the old content whole. A
// missing file gives eFMFileNotFound.
KTErr WriteToDataFork(const CXMLTreeBuilder& builder, const kvFM::KCStPath& path);
KTErr WriteToDataFork(const CXMLElement& root, const kvFM::KCStPath& path);

// One element tree bound to one file.
class KCXMLFile : public KUValidatable {
public:
    // The root is named after the file's base name; the status is
    // eFMFileNotFound until the file is read.
    explicit KCXMLFile(const kvFM::KCStPath& path);
    KCXMLFile(const KCXMLFile& other) = default;
    KCXMLFile& operator=(const KCXMLFile& other) = default;
    ~KCXMLFile() override = default;

    CXMLElement& GetXML() { return root; }
    const CXMLElement& GetXML() const { return root; }
    const kvFM::KCStPath& GetFilePath() const { return path; }

    // Fills the tree from the file: eFMFileNotFound (tree untouched) for a
    // missing file; on any failure the root keeps the file's base name.
    virtual KTErr Read();
    // Stores the tree: the file is replaced through a new file beside it
    // (missing folders are made), so a failed write never loses the old
    // file.
    virtual KTErr Write();

protected:
    KCXMLFile();
    std::string BaseName() const;

    kvFM::KCStPath path;
    CXMLElement root;
};

// An XML file in the user's preferences folder
// (<application data>/Quorl Audio/Preferences).
class KCXMLPreferencesFile : public KCXMLFile {
public:
    static const KCFourCC kPrefFileType;
    static const KCFourCC kZorbShellCreator;
    static const KCFileType kXPreferenceFileType;

    KCXMLPreferencesFile();
    explicit KCXMLPreferencesFile(const std::string& name);
    KCXMLPreferencesFile(const KCXMLPreferencesFile& other) = default;
    KCXMLPreferencesFile& operator=(const KCXMLPreferencesFile& other) = default;

    // The path becomes the preferences folder with `name` appended; the
    // path's status tells the outcome. Always 0.
    KTErr SetFileName(const std::string& name);
};

} // namespace kvXML

using kvXML::KCXMLFile;
using kvXML::KCXMLPreferencesFile;
