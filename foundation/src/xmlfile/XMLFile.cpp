#include "foundation/XMLFile.h"

#include "foundation/kvFMFolders.h"

#include <new>

namespace kvXML {

namespace {

constexpr unsigned long kPieceSize = 4096;

KTErr WriteTextToOpenFile(const std::string& text, KTOpenFileType* file) {
    return WriteAllText(text,
                        [file](const char* data, unsigned long count, unsigned long& written) {
                            return kvFM::WriteToFile(file, data, count, written);
                        });
}

KTErr ReplaceFileText(const std::string& text, const kvFM::KCStPath& path) {
    if (!kvFM::IsFile(path.GetPathRef()))
        return path.GetPathRef() == nullptr ? eMemNullPointer : eFMFileNotFound;
    return kvFM::WriteFileAtomically(path.GetPathRef(), text.data(), text.size());
}

// The text of a builder's root; the writer makes at least one tag, so an
// empty text means it could not be made.
KTErr TextOf(const CXMLTreeBuilder& builder, std::string& text) {
    try {
        builder.WriteToString(text);
    } catch (const std::bad_alloc&) {
        text.clear();
    }
    return text.empty() ? eMemNewFailed : eNoErr;
}

// Runs a step whose failures are statuses: no exception leaves it.
template <typename Step>
KTErr Guarded(Step step) {
    try {
        return step();
    } catch (KTErr err) {
        return err != eNoErr ? err : eGenericErr;
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    } catch (...) {
        return eGenericErr;
    }
}

} // namespace

KTErr BuildFromDataFork(CXMLTreeBuilder& builder, const kvFM::KCStPath& path) {
    KTErr status = eNoErr;
    try {
        kvFM::KCStFileRead file(path);
        if (!file.IsValid())
            return file.GetError() != eNoErr ? file.GetError() : eFMFileNotOpened;
        char piece[kPieceSize];
        for (;;) {
            unsigned long got = 0;
            status = file.Read(piece, sizeof piece, got);
            if (status != eNoErr)
                return status;
            if (got == 0) // the file ended: was the document complete?
                return status = builder.Finish();
            bool done = false;
            status = builder.BuildFromBuffer(piece, got, done);
            // Whatever follows the end of the document element in the same
            // piece is not part of the document.
            if (builder.IsBuildingDone())
                return status = eNoErr;
            if (status != eNoErr)
                return status;
        }
    } catch (KTErr err) {
        return err != eNoErr ? err : (status != eNoErr ? status : eGenericErr);
    } catch (...) {
        return status != eNoErr ? status : eXMLParserFailed;
    }
}

KTErr AppendToOpenFile(const CXMLTreeBuilder& builder, KTOpenFileType* file) {
    return Guarded([&] {
        std::string text;
        if (KTErr err = TextOf(builder, text))
            return err;
        return WriteTextToOpenFile(text, file);
    });
}

KTErr AppendToOpenFile(const CXMLElement& root, KTOpenFileType* file) {
    return Guarded([&] {
        std::string text;
        if (KTErr err = WriteElementText(root, text))
            return err;
        return WriteTextToOpenFile(text, file);
    });
}

KTErr WriteToDataFork(const CXMLTreeBuilder& builder, const kvFM::KCStPath& path) {
    return Guarded([&] {
        std::string text;
        if (KTErr err = TextOf(builder, text))
            return err;
        return ReplaceFileText(text, path);
    });
}

KTErr WriteToDataFork(const CXMLElement& root, const kvFM::KCStPath& path) {
    return Guarded([&] {
        std::string text;
        if (KTErr err = WriteElementText(root, text))
            return err;
        return ReplaceFileText(text, path);
    });
}

// KCXMLFile

KCXMLFile::KCXMLFile() : KUValidatable(eNoErr) {}

KCXMLFile::KCXMLFile(const kvFM::KCStPath& path)
    : KUValidatable(eFMFileNotFound), path(path), root(path.GetBase(), "") {}

std::string KCXMLFile::BaseName() const {
    return path.GetBase();
}

KTErr KCXMLFile::Read() {
    KTErr result;
    if (!path.IsValid()) {
        result = path.GetError() != eNoErr ? path.GetError() : eFMIllegalPathRef;
    } else if (!kvFM::DoesFileExist(path.GetPathRef())) {
        return error = eFMFileNotFound; // the tree stays as it is
    } else {
        result = Guarded([&] {
            root.Clear();
            CXMLTreeBuilder builder(root);
            return BuildFromDataFork(builder, path);
        });
    }
    error = result;
    if (result != eNoErr)
        root.name = BaseName().c_str();
    return result;
}

KTErr KCXMLFile::Write() {
    KTErr result;
    if (!path.IsValid()) {
        result = path.GetError() != eNoErr ? path.GetError() : eFMIllegalPathRef;
    } else {
        // The old file is replaced only once the whole text is made and
        // written beside it.
        result = Guarded([&] {
            std::string text;
            if (KTErr err = WriteElementText(root, text))
                return err;
            return kvFM::WriteFileAtomically(path.GetPathRef(), text.data(), text.size());
        });
    }
    return error = result;
}

// KCXMLPreferencesFile

const KCFourCC KCXMLPreferencesFile::kPrefFileType = KV_FOURCC("kvPF");
const KCFourCC KCXMLPreferencesFile::kZorbShellCreator = KV_FOURCC("KSSD");
const KCFileType KCXMLPreferencesFile::kXPreferenceFileType("Preferences File", "xml",
                                                            KV_FOURCC("kvPF"), KV_FOURCC("KSSD"));

KCXMLPreferencesFile::KCXMLPreferencesFile() = default;

KCXMLPreferencesFile::KCXMLPreferencesFile(const std::string& name) {
    SetFileName(name);
}

KTErr KCXMLPreferencesFile::SetFileName(const std::string& name) {
    KTPathType* folder = nullptr;
    if (kvFM::CreateSystemFolderPathRef(kvFM::eUserDomain, kvFM::eQuorlPreferencesFolder, folder) !=
        eNoErr) {
        path.Clear();
        return eNoErr;
    }
    path.TakeOver(folder);
    path.Append(name);
    return eNoErr;
}

} // namespace kvXML
