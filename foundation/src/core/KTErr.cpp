#include "foundation/KTErr.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace {

struct ErrName {
    KTErr code;
    const char* name;
};

#define KV_ERR(name)                                                                               \
    { name, #name }

// Sorted by code, descending (as the families are listed).
constexpr ErrName kErrNames[] = {
    KV_ERR(eNoErr),
    KV_ERR(eGenericErr),
    KV_ERR(eUserCanceled),
    KV_ERR(eExceptionErr),
    KV_ERR(eEndianError),
    KV_ERR(eThreadSafeError),
    KV_ERR(eSomeThingNotInitailzed),
    KV_ERR(eWrongObjectState),
    KV_ERR(eUninitalized),
    KV_ERR(eDeprecated),
    KV_ERR(eCommandLineParameter),
    KV_ERR(eFMNoSuchVolume),
    KV_ERR(eFMFileNotFound),
    KV_ERR(eFMFileAllreadyExists),
    KV_ERR(eFMAllreadyOpenWithWritePerm),
    KV_ERR(eFMEndOfFile),
    KV_ERR(eFMPermissionErr),
    KV_ERR(eFMBusyErr),
    KV_ERR(eFMOpenFailed),
    KV_ERR(eFMTranslateFileNameFailed),
    KV_ERR(eFMKTPathRefCreationFailed),
    KV_ERR(eFMReadFailed),
    KV_ERR(eFMIllegalPathRef),
    KV_ERR(eFMFileNotOpened),
    KV_ERR(eFMFileSizeTooBig),
    KV_ERR(eFMNoSuchDomain),
    KV_ERR(eFMNoSuchSystemFolder),
    KV_ERR(eFMWrongParameters),
    KV_ERR(eFMIsNotAFolder),
    KV_ERR(eFMIsAFolder),
    KV_ERR(eFMIsNotAFile),
    KV_ERR(eFMIsAFile),
    KV_ERR(eFMDeleteFailed),
    KV_ERR(eFMCreateFailed),
    KV_ERR(eFMPathTooLong),
    KV_ERR(eFMIOError),
    KV_ERR(eFMIllegalOpenFileRef),
    KV_ERR(eFMDiskFull),
    KV_ERR(eFMFileNotEmpty),
    KV_ERR(eFMEndOfFolder),
    KV_ERR(eFMSamePath),
    KV_ERR(eFMPathTooShort),
    KV_ERR(eFMIncompletePath),
    KV_ERR(eFMIsNoAFileSystemLink),
    KV_ERR(eFMSymlinkBroken),
    KV_ERR(eFMMoveFailed),
    KV_ERR(eFMWriteFailed),
    KV_ERR(eFMTooManyOpenFiles),
    KV_ERR(eFMTooManySymlinks),
    KV_ERR(eGenericSystemError),
    KV_ERR(eSysNoEnvironmentVariable),
    KV_ERR(eDLLLoadingFailed),
    KV_ERR(eFuncPoinerNotFound),
    KV_ERR(eRMResNotFound),
    KV_ERR(eRMResExists),
    KV_ERR(eRMContainerNotFound),
    KV_ERR(eRMResRefNotFound),
    KV_ERR(eRMInvalidResRef),
    KV_ERR(eRMInvalidResContainer),
    KV_ERR(eRMInvalidNativeResContainer),
    KV_ERR(eRMInvalidResID),
    KV_ERR(eRMResUpdateFailed),
    KV_ERR(eGMIsNotInitailzed),
    KV_ERR(eGMInvalidImage),
    KV_ERR(eGMGenericErr),
    KV_ERR(eGMNoCurrentContext),
    KV_ERR(eMemNewFailed),
    KV_ERR(eMemNewTPtrFailed),
    KV_ERR(eMemNullPointer),
    KV_ERR(eMemObjNotInitialized),
    KV_ERR(eMemBuffTooShort),
    KV_ERR(eGMInstanciationFailed),
    KV_ERR(eMemAddressSpaceError),
    KV_ERR(eMemBadPointer),
    KV_ERR(eMemOutOfMemory),
    KV_ERR(eXMLParserFailed),
    KV_ERR(eXMLTreeNotValid),
    KV_ERR(eXMLTreeEmpty),
    KV_ERR(eXMLElementMissing),
    KV_ERR(eXMLElementUninitalized),
    KV_ERR(eXMLElementIncomplete),
    KV_ERR(eXMLAttribMissing),
    KV_ERR(ePresetFileProblem),
    KV_ERR(eInvalidFileFormatProblem),
    KV_ERR(ePresetLockedProblem),
    KV_ERR(ePresetInfoNotFound),
    KV_ERR(eDuplicatePluginSpecificTag),
    KV_ERR(ePluginSpecifcNotExisting),
    KV_ERR(eBuffSizeToSmall),
    KV_ERR(eCreatingPopupWhereAnItemExists),
    KV_ERR(eDeletePluginSpecifcFailed),
    KV_ERR(eFactoryPresetNumOutOfRange),
    KV_ERR(eNoFactoryPresets),
    KV_ERR(eLoadPresetToPlugin_vec_empty),
    KV_ERR(eFactoryPresetNotFound),
    KV_ERR(eCantCreateUserPrefFile),
    KV_ERR(eDataFormatNotSupported),
    KV_ERR(eCantLoadProcessFunction),
    KV_ERR(eIllegalChunkIndex),
    KV_ERR(eIllegalChunkID),
    KV_ERR(eNotAPluginFile),
    KV_ERR(eFaildToLoadPluginDLL),
    KV_ERR(eNoPluginManager),
    KV_ERR(eGetAvailablePluginsFailed),
    KV_ERR(eNoPluginsAvailable),
    KV_ERR(ePluginSubComponentNotFound),
    KV_ERR(ePluginOpenFailed),
    KV_ERR(eSubComponentRejected),
    KV_ERR(eIncompatibleNumOfIOs),
    KV_ERR(eStemProblem),
    KV_ERR(eComponentTypeNotSupported),
    KV_ERR(eVellixInitFailed),
    KV_ERR(eCommEndOfRecievedMessage),
    KV_ERR(eCommSocketDisconnected),
    KV_ERR(eKMEventNotHandled),
};

#undef KV_ERR

constexpr bool SortedDescending() {
    for (size_t i = 1; i < std::size(kErrNames); ++i)
        if (!(kErrNames[i - 1].code > kErrNames[i].code))
            return false;
    return true;
}
static_assert(SortedDescending(), "status table must be sorted by code, descending");

} // namespace

const char* KTErrName(KTErr code) {
    auto it = std::lower_bound(std::begin(kErrNames), std::end(kErrNames), code,
                               [](const ErrName& e, KTErr c) { return e.code > c; });
    if (it != std::end(kErrNames) && it->code == code)
        return it->name;
    return "eUnknownErr";
}

int KTErrCount() {
    return static_cast<int>(std::size(kErrNames));
}

KTErr ConvertErrorWIN(unsigned long systemError) {
    switch (systemError) {
    case 0:
        return eNoErr;
    case 2:   // file not found
    case 3:   // path not found
    case 126: // module not found
        return eFMFileNotFound;
    case 14: // out of memory
        return eMemNewFailed;
    case 183: // already exists
        return eFMFileAllreadyExists;
    default:
        return eGenericErr;
    }
}

KTErr ConvertErrorPOSIX(int errnum) {
    switch (errnum) {
    case 0:
        return eNoErr;
    case ENOENT:
        return eFMFileNotFound;
    case ENOMEM:
        return eMemNewFailed;
    case EEXIST:
        return eFMFileAllreadyExists;
    default:
        return eGenericErr;
    }
}

KTErr ConvertErrorFS(int category) {
    switch (category) {
    case eFSNone:
        return eNoErr;
    case eFSSystem:
    case eFSOther:
        return eGenericErr;
    case eFSSecurity:
    case eFSReadOnly:
        return eFMPermissionErr;
    case eFSIO:
        return eFMIOError;
    case eFSBadPath:
    case eFSNotFound:
        return eFMFileNotFound;
    case eFSNotAFolder:
        return eFMIsNotAFolder;
    case eFSBusy:
        return eFMBusyErr;
    case eFSAlreadyExists:
        return eFMFileAllreadyExists;
    case eFSFolderNotEmpty:
        return eFMFileNotEmpty;
    case eFSIsAFolder:
        return eFMIsAFolder;
    case eFSOutOfSpace:
        return eFMDiskFull;
    case eFSOutOfMemory:
    case eFSOutOfResources:
        return eMemOutOfMemory;
    default:
        return eGenericErr;
    }
}

int FSErrorCategory(const std::error_code& ec) {
    if (!ec)
        return eFSNone;
    if (ec.category() != std::generic_category() && ec.category() != std::system_category())
        return eFSOther;
    switch (ec.value()) {
    case EACCES:
    case EPERM:
        return eFSSecurity;
    case EROFS:
        return eFSReadOnly;
    case EIO:
        return eFSIO;
    case EINVAL:
    case ENAMETOOLONG:
    case ELOOP:
        return eFSBadPath;
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return eFSNotFound;
    case ENOTDIR:
        return eFSNotAFolder;
    case EBUSY:
    case ETXTBSY:
        return eFSBusy;
    case EEXIST:
        return eFSAlreadyExists;
    case ENOTEMPTY:
        return eFSFolderNotEmpty;
    case EISDIR:
        return eFSIsAFolder;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return eFSOutOfSpace;
    case ENOMEM:
        return eFSOutOfMemory;
    case EMFILE:
    case ENFILE:
    case EAGAIN:
        return eFSOutOfResources;
    default:
        return eFSSystem;
    }
}

KTErr StatusOfFSError(const std::error_code& ec) {
    KTErr err = ConvertErrorFS(FSErrorCategory(ec));
    return err == eNoErr ? eGenericErr : err;
}
