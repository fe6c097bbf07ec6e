// Status codes of the framework: every operation reports its outcome as one
// KTErr. 0 is success, every error is negative.
#pragma once

#include <cstdint>
#include <system_error>

using KTErr = int32_t;

enum : KTErr {
    eNoErr = 0,

    // Generic
    eGenericErr = -1,
    eUserCanceled = -2,
    eExceptionErr = -4,
    eEndianError = -5,
    eThreadSafeError = -6,
    eSomeThingNotInitailzed = -7,
    eWrongObjectState = -8,
    eUninitalized = -9,
    eDeprecated = -10,
    eCommandLineParameter = -11,

    // File manager
    eFMNoSuchVolume = -1001,
    eFMFileNotFound = -1002,
    eFMFileAllreadyExists = -1003,
    eFMAllreadyOpenWithWritePerm = -1004,
    eFMEndOfFile = -1005,
    eFMPermissionErr = -1006,
    eFMBusyErr = -1007,
    eFMOpenFailed = -1008,
    eFMTranslateFileNameFailed = -1009,
    eFMKTPathRefCreationFailed = -1010,
    eFMReadFailed = -1011,
    eFMIllegalPathRef = -1012,
    eFMFileNotOpened = -1013,
    eFMFileSizeTooBig = -1014,
    eFMNoSuchDomain = -1015,
    eFMNoSuchSystemFolder = -1016,
    eFMWrongParameters = -1017,
    eFMIsNotAFolder = -1018,
    eFMIsAFolder = -1019,
    eFMIsNotAFile = -1020,
    eFMIsAFile = -1021,
    eFMDeleteFailed = -1022,
    eFMCreateFailed = -1023,
    eFMPathTooLong = -1024,
    eFMIOError = -1025,
    eFMIllegalOpenFileRef = -1026,
    eFMDiskFull = -1027,
    eFMFileNotEmpty = -1028,
    eFMEndOfFolder = -1029,
    eFMSamePath = -1030,
    eFMPathTooShort = -1031,
    eFMIncompletePath = -1032,
    eFMIsNoAFileSystemLink = -1033,
    eFMSymlinkBroken = -1034,
    eFMMoveFailed = -1035,
    eFMWriteFailed = -1036,
    eFMTooManyOpenFiles = -1037,
    eFMTooManySymlinks = -1038,

    // System and dynamic libraries
    eGenericSystemError = -2000,
    eSysNoEnvironmentVariable = -2001,
    eDLLLoadingFailed = -2002,
    eFuncPoinerNotFound = -2003,

    // Resource manager
    eRMResNotFound = -3000,
    eRMResExists = -3001,
    eRMContainerNotFound = -3002,
    eRMResRefNotFound = -3003,
    eRMInvalidResRef = -3004,
    eRMInvalidResContainer = -3005,
    eRMInvalidNativeResContainer = -3006,
    eRMInvalidResID = -3008,
    eRMResUpdateFailed = -3009,

    // Graphics manager
    eGMIsNotInitailzed = -3500,
    eGMInvalidImage = -3501,
    eGMGenericErr = -3502,
    eGMNoCurrentContext = -3503,

    // Memory
    eMemNewFailed = -4001,
    eMemNewTPtrFailed = -4002,
    eMemNullPointer = -4003,
    eMemObjNotInitialized = -4004,
    eMemBuffTooShort = -4005,
    eGMInstanciationFailed = -4006,
    eMemAddressSpaceError = -4007,
    eMemBadPointer = -4008,
    eMemOutOfMemory = -4009,

    // XML
    eXMLParserFailed = -6001,
    eXMLTreeNotValid = -6002,
    eXMLTreeEmpty = -6003,
    eXMLElementMissing = -6004,
    eXMLElementUninitalized = -6005,
    eXMLElementIncomplete = -6006,
    eXMLAttribMissing = -6007,

    // Preset files
    ePresetFileProblem = -7860,
    eInvalidFileFormatProblem = -7861,
    ePresetLockedProblem = -7862,
    ePresetInfoNotFound = -7863,

    // Plug-in presets, plug-in specific data and chunks
    eDuplicatePluginSpecificTag = -7959,
    ePluginSpecifcNotExisting = -7960,
    eBuffSizeToSmall = -7961,
    eCreatingPopupWhereAnItemExists = -7962,
    eDeletePluginSpecifcFailed = -7963,
    eFactoryPresetNumOutOfRange = -7964,
    eNoFactoryPresets = -7965,
    eLoadPresetToPlugin_vec_empty = -7966,
    eFactoryPresetNotFound = -7967,
    eCantCreateUserPrefFile = -7968,
    eDataFormatNotSupported = -7969,
    eCantLoadProcessFunction = -7970,
    eIllegalChunkIndex = -7971,
    eIllegalChunkID = -7972,

    // Plug-in loading
    eNotAPluginFile = -8001,
    eFaildToLoadPluginDLL = -8002,
    eNoPluginManager = -8003,
    eGetAvailablePluginsFailed = -8004,
    eNoPluginsAvailable = -8005,
    ePluginSubComponentNotFound = -8006,
    ePluginOpenFailed = -8007,
    eSubComponentRejected = -8009,
    eIncompatibleNumOfIOs = -8010,
    eStemProblem = -8011,
    eComponentTypeNotSupported = -8012,

    // Networked DSP shell
    eVellixInitFailed = -9001,

    // Communication
    eCommEndOfRecievedMessage = -11001,
    eCommSocketDisconnected = -11002,

    // Window manager
    eKMEventNotHandled = -12001,
};

// The name of a code ("eNoErr", "eFMFileNotFound", ...), or "eUnknownErr"
// for a value no family holds. The text is static.
const char* KTErrName(KTErr code);

// Number of named codes (for tests and listings).
int KTErrCount();

// Win32 error numbers to status codes: 0 -> 0; 2, 3, 126 -> -1002;
// 14 -> -4001; 183 -> -1003; anything else -> -1.
KTErr ConvertErrorWIN(unsigned long systemError);

// The same table for POSIX errno values: ENOENT -> -1002; ENOMEM -> -4001;
// EEXIST -> -1003; 0 -> 0; anything else -> -1. (A caller that looks a path
// up and wants "path not found" for ENOTDIR maps that itself.)
KTErr ConvertErrorPOSIX(int errnum);

// File-system error categories, 0 to 15.
enum KEFSErrorCategory : int {
    eFSNone = 0,
    eFSSystem = 1,
    eFSOther = 2,
    eFSSecurity = 3,
    eFSReadOnly = 4,
    eFSIO = 5,
    eFSBadPath = 6,
    eFSNotFound = 7,
    eFSNotAFolder = 8,
    eFSBusy = 9,
    eFSAlreadyExists = 10,
    eFSFolderNotEmpty = 11,
    eFSIsAFolder = 12,
    eFSOutOfSpace = 13,
    eFSOutOfMemory = 14,
    eFSOutOfResources = 15,
};

// A category to a status: see the table of the file manager.
KTErr ConvertErrorFS(int category);

// Classifies a std::filesystem / system error into one of the sixteen
// categories by its meaning.
int FSErrorCategory(const std::error_code& ec);

// The status of a caught file-system error: ConvertErrorFS of its category,
// and never success (a category of 0 gives -1).
KTErr StatusOfFSError(const std::error_code& ec);
