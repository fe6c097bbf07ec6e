// The runner's session: its settings and the plug-ins of the last session,
// kept in the user's XML preferences file "Rigwell_SetupPreferences".
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "foundation/XMLElement.h"

#include <cstdint>
#include <string>
#include <vector>

// One plug-in of a session.
struct RecentPluginInfo {
    kvFM::KCStPath file;
    KCFourCC componentType;
    KCFourCC componentSubType;
    std::string chunk; // the plug-in's 'XPst' chunk, every byte kept
    KCFourCC currentSetup;
    int32_t position = 0;

    bool operator==(const RecentPluginInfo& other) const;
    // "<file base name>: <type>,<sub-type>" (diagnostics only).
    std::string Description() const;
};

struct KCSessionInfo {
    std::vector<RecentPluginInfo> recentPlugins;
    bool loadPrevSession = false;
    bool useVellixPlugins = false;
    uint8_t bitDepth = 16;
    int32_t bufferSize = 2048;
    uint32_t sampleRate = 44100;
    bool bypassRecentPlugins = false;
    double tempo = 120.0;
    int32_t inputDevice = -1;
    int32_t outputDevice = -1;
    int32_t outputMode = 0; // 0 speakers, 1 WAV file, 2 debug tests

    // The device indexes are not compared.
    bool operator==(const KCSessionInfo& other) const;
};

// What storing and restoring a session needs of one loaded plug-in: its
// identity and its chunk and setup entry points.
class KCSessionPlugin {
public:
    virtual ~KCSessionPlugin() = default;
    virtual kvFM::KCStPath GetFile() const = 0;
    virtual KCFourCC GetComponentType() const = 0;
    virtual KCFourCC GetComponentSubType() const = 0;
    // The plug-in's 'XPst' chunk in a buffer it allocated (freed with
    // FreeChunk); a null buffer or a size of 0 means no chunk.
    virtual KTErr GetChunk(void*& buffer, uint32_t& size) = 0;
    virtual void FreeChunk(void* buffer) = 0;
    virtual KTErr SetChunk(const void* data, uint32_t size) = 0;
    virtual KTErr InitAlg() = 0;
    virtual KTErr GetActiveSetupType(KCFourCC& setup) = 0;
    virtual KTErr SetActiveSetupType(KCFourCC setup) = 0;
};

// The record of the plug-in at `position`: its file and codes, its whole
// chunk (empty when the plug-in fails to give one) and its active setup
// ('????' when it gives none).
RecentPluginInfo MakeRecentPluginInfo(KCSessionPlugin& plugin, int32_t position);

// Whether `record` stands for the plug-in at `position`: same position,
// file (both existing) and codes.
bool RecordMatches(const RecentPluginInfo& record, KCSessionPlugin& plugin, int32_t position);

// Hands the record's chunk (its bytes and their count) to the plug-in,
// re-initialises its algorithm and selects the record's setup. A failing
// initialisation gives its status at once (the caller ends the restore
// there); otherwise the status of the setup selection.
KTErr RestoreRecentPlugin(KCSessionPlugin& plugin, const RecentPluginInfo& record);

// The session's preferences file.
class KCPluginRunnerPrefFile {
public:
    // Finds the file's path; the file counts as valid when it exists now.
    KTErr Init();
    // The user's preferences folder (made when missing) with
    // "Rigwell_SetupPreferences" appended.
    static KTErr GetPrefFileID(kvFM::KCStPath& out);
    bool IsValid() const { return valid; }
    const kvFM::KCStPath& GetPath() const { return path; }
    void SetPath(const kvFM::KCStPath& file) { path = file; }

    // Reads the file into `session`; a file that is not XML is deleted (one
    // that cannot be read is kept and its status returned). When no file
    // exists afterwards, the session is written as it stands.
    KTErr LoadPrefInfo(KCSessionInfo& session);
    // Writes the file anew (atomically).
    KTErr SavePrefInfo(const KCSessionInfo& session);

    static KTErr ReadFromXML(const kvXML::CXMLElement& root, KCSessionInfo& session);
    static kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* root, const KCSessionInfo& session);

private:
    kvFM::KCStPath path;
    bool valid = false;
};
