#include "../elfres/TestFiles.h"
#include "foundation/ElfRes.h"
#include "foundation/RM.h"
#include "foundation/ResContainer.h"
#include "foundation/ResConverters.h"
#include "foundation/XMLElement.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>

using kvXML::CXMLElement;

namespace {

constexpr KCFourCC kXPLL{KV_FOURCC("XPLL")};
constexpr KCFourCC kPNG{KV_FOURCC("PNG_")};
constexpr KCFourCC kXCLI{KV_FOURCC("XCLI")};

kvFM::KCStPath PathOf(const fs::path& p) {
    return kvFM::KCStPath(p.string());
}

std::string Bytes(const void* data, unsigned long size) {
    return std::string(static_cast<const char*>(data), size);
}

// Counts the calls of a converter that keeps the bytes.
struct Counting {
    static inline int loads = 0, releases = 0;
    static long Load(void* in, unsigned long n, void*& out, unsigned long& outN, void* u) {
        ++loads;
        return DefaultResLoadConvert(in, n, out, outN, u);
    }
    static long Release(void* data, void* u) {
        ++releases;
        return DefaultResRelease(data, u);
    }
    static constexpr KSResConvertFuncs funcs = {Load, DefaultResSaveConvert, Release, nullptr,
                                                KCFourCC(KV_FOURCC("cnt_"))};
};

void* HeapCopy(const std::string& text) {
    void* block = KCMemUtils::NewKTPtr(static_cast<unsigned long>(text.size()));
    std::memcpy(block, text.data(), text.size());
    return block;
}

class ResourceManager : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RMInit(0), eNoErr); }
    void TearDown() override { EXPECT_EQ(RMDispose(), eNoErr); }

    KTResContainerType* Open(const fs::path& p, long flags = 0) {
        KTResContainerType* c = nullptr;
        EXPECT_EQ(RMOpenResContainer(PathOf(p), flags, c), eNoErr) << p;
        return c;
    }

    // A writable copy of the keys fixture.
    fs::path CopyOfKeys() {
        const fs::path copy = dir / "libkeys.so";
        fs::copy_file(KV_RM_FIXTURE_KEYS, copy);
        return copy;
    }

    TempFolder dir;
};

} // namespace

TEST_F(ResourceManager, OpeningAPathTwiceSharesOneCountedContainer) {
    KTResContainerType* a = Open(KV_RM_FIXTURE_KEYS);
    KTResContainerType* b = Open(KV_RM_FIXTURE_KEYS, 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(RMContainerOpenCount(a), 2);
    EXPECT_EQ(RMFileOpenCount(PathOf(KV_RM_FIXTURE_KEYS)), 2);

    EXPECT_EQ(RMCloseResContainer(b), eNoErr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(RMContainerOpenCount(a), 1);
    KTResContainerType* again = a;
    EXPECT_EQ(RMCloseResContainer(a), eNoErr);
    EXPECT_EQ(RMFileOpenCount(PathOf(KV_RM_FIXTURE_KEYS)), 0);
    EXPECT_EQ(RMContainerOpenCount(again), 0) << "a closed handle is no longer valid";
    EXPECT_EQ(RMCloseResContainer(a), eMemNullPointer);

    auto* never = reinterpret_cast<KTResContainerType*>(&again);
    EXPECT_EQ(RMCloseResContainer(never), eRMContainerNotFound);
    EXPECT_EQ(never, nullptr);
}

TEST_F(ResourceManager, FilesThatAreNoContainer) {
    WriteBytes(dir / "notes.txt", ::Bytes("plain text, no ELF header in here at all ........"));
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0); // opening it must not wait for a writer
    struct Case {
        fs::path path;
        bool isContainer;
    } cases[] = {{KV_RM_FIXTURE_KEYS, true},  {KV_FIXTURE_LIB, true}, {dir / "notes.txt", false},
                 {dir / "missing.so", false}, {dir / "pipe", false},  {dir.path, false}};
    for (const Case& c : cases) {
        bool is = !c.isContainer;
        EXPECT_EQ(RMIsResContainer(PathOf(c.path), is), eNoErr);
        EXPECT_EQ(is, c.isContainer) << c.path;
        KTResContainerType* out = reinterpret_cast<KTResContainerType*>(&is);
        const KTErr err = RMOpenResContainer(PathOf(c.path), 0, out);
        EXPECT_EQ(err, c.isContainer ? eNoErr : eRMInvalidResContainer) << c.path;
        EXPECT_EQ(out != nullptr, c.isContainer) << c.path;
        if (out)
            RMCloseResContainer(out);
    }
}

TEST_F(ResourceManager, ListsFourCharacterTypesAndNumbersInOrder) {
    KTResContainerType* c = Open(KV_RM_FIXTURE_TYPES);
    KCMemObj list;
    unsigned long count = 0;
    ASSERT_EQ(RMGetResTypeList(c, list, count), eNoErr);
    ASSERT_EQ(count, 2u) << "the three-character and the numbered type are skipped";
    EXPECT_EQ(list.GetPtrSize(), 8u);
    const auto* types = static_cast<const uint32_t*>(list.GetPtr());
    EXPECT_EQ(types[0], kPNG.Get());
    EXPECT_EQ(types[1], kXPLL.Get());
    list.DisposePtr();

    ASSERT_EQ(RMGetResIDList(c, KCFourCC(KV_FOURCC("XPll")), list, count), eNoErr);
    ASSERT_EQ(count, 2u) << "the named resource is skipped";
    EXPECT_EQ(list.GetPtrSize(), 4u);
    const auto* ids = static_cast<const uint16_t*>(list.GetPtr());
    EXPECT_EQ(ids[0], 1000);
    EXPECT_EQ(ids[1], 1001);
    list.DisposePtr();

    EXPECT_EQ(RMGetResIDList(c, KCFourCC(KV_FOURCC("NONE")), list, count), eGenericErr);
    EXPECT_TRUE(list.Empty());

    // A library without resources, and one whose resource section is empty.
    fs::copy_file(KV_FIXTURE_LIB, dir / "plain.so");
    fs::copy_file(KV_FIXTURE_LIB, dir / "emptied.so");
    ASSERT_EQ(kvElfRes::WriteResources(dir / "emptied.so", {}), eNoErr);
    for (const char* name : {"plain.so", "emptied.so"}) {
        KTResContainerType* none = Open(dir / name);
        EXPECT_EQ(RMGetResTypeList(none, list, count), eGenericErr) << name;
        EXPECT_EQ(RMGetResIDList(none, kXPLL, list, count), eGenericErr) << name;
        EXPECT_TRUE(list.Empty());
    }
}

TEST_F(ResourceManager, ResourcesListOfAContainer) {
    KTResContainerType* c = Open(KV_RM_FIXTURE_KEYS);
    const std::vector<KCResKey> expected = {{kPNG, 1000}, {kPNG, 1001}, {kXCLI, 1000}};
    std::vector<KCResKey> keys = {{kXPLL, 1}};
    EXPECT_EQ(KCRMUtils::GetResourcesList(c, keys), eNoErr);
    ASSERT_EQ(keys.size(), 4u) << "keys are appended";
    EXPECT_EQ(std::vector<KCResKey>(keys.begin() + 1, keys.end()), expected);

    KCStResContainer scoped(PathOf(KV_RM_FIXTURE_KEYS), 0);
    ASSERT_TRUE(scoped.IsValid());
    EXPECT_EQ(scoped.GetResContainerRef(), c);
    keys.clear();
    EXPECT_EQ(scoped.GetResourceList(keys), eNoErr);
    EXPECT_EQ(keys, expected);
}

TEST_F(ResourceManager, LoadedResourcesAreSharedAndCounted) {
    KTResContainerType* c = Open(KV_RM_FIXTURE_KEYS);
    Counting::loads = Counting::releases = 0;
    KTResourceType* first = nullptr;
    KTResourceType* second = nullptr;
    ASSERT_EQ(RMGetAResource(c, kPNG, 1001, first, &Counting::funcs), eNoErr);
    ASSERT_EQ(RMGetAResource(c, kPNG, 1001, second, &Counting::funcs), eNoErr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(reinterpret_cast<KSResRecord*>(first)->refCount, 2);
    EXPECT_EQ(Counting::loads, 1);

    void* data = nullptr;
    unsigned long size = 0;
    RMGetResData(first, data);
    RMGetResSize(first, size);
    EXPECT_EQ(Bytes(data, size), "BLOB-TWO!");
    KCFourCC type;
    short id = 0;
    RMGetResInfo(first, type, id);
    EXPECT_EQ(type.Get(), kPNG.Get());
    EXPECT_EQ(id, 1001);

    EXPECT_EQ(RMReleaseResource(second), eNoErr);
    EXPECT_NE(second, nullptr) << "the handle stays set while others hold it";
    bool loaded = false;
    RMIsResourceLoaded(c, kPNG, 1001, loaded);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(Counting::releases, 0);
    EXPECT_EQ(RMReleaseResource(first), eNoErr);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(Counting::releases, 1);
    RMIsResourceLoaded(c, kPNG, 1001, loaded);
    EXPECT_FALSE(loaded);

    // The released handle is recognised as stale and never dereferenced.
    void* untouched = &loaded;
    EXPECT_EQ(RMGetResData(second, untouched), eNoErr);
    EXPECT_EQ(untouched, &loaded);
    EXPECT_EQ(RMReleaseResource(second), eNoErr);
    EXPECT_EQ(Counting::releases, 1);
}

TEST_F(ResourceManager, LookupUpperCasesTheTypeAndRejectsMissingOrEmptyResources) {
    KTResContainerType* types = Open(KV_RM_FIXTURE_TYPES);
    KTResourceType* r = nullptr;
    ASSERT_EQ(RMGetAResource(types, KCFourCC(KV_FOURCC("XPll")), 1000, r, nullptr), eNoErr);
    KCFourCC type;
    short id = 0;
    RMGetResInfo(r, type, id);
    EXPECT_EQ(type.Get(), KV_FOURCC("XPll")) << "the key keeps the caller's type";
    RMReleaseResource(r);

    KTResContainerType* self = nullptr;
    ASSERT_EQ(
        RMAttachResContainer(static_cast<KTNativeContainerType*>(dlopen(nullptr, RTLD_NOW)), self),
        eNoErr);
    struct Case {
        KTResContainerType* container;
        KCFourCC type;
        short id;
    } missing[] = {{types, kXPLL, 999}, {types, kPNG, 1002}, {self, KV_FOURCC("EMPT"), 1000}};
    for (const Case& m : missing) {
        r = reinterpret_cast<KTResourceType*>(&type);
        EXPECT_EQ(RMGetAResource(m.container, m.type, m.id, r, nullptr), eRMResNotFound);
        EXPECT_EQ(r, nullptr);
        EXPECT_FALSE(RMDoesNativeResourceExist(m.container, m.type, m.id));
        KTNativeResourceType* raw = reinterpret_cast<KTNativeResourceType*>(&type);
        EXPECT_EQ(RMGetNativeResource(m.container, m.type, m.id, raw), eGenericErr);
        EXPECT_EQ(raw, nullptr);
    }
}

TEST_F(ResourceManager, NativeResourcesPointAtTheStoredBytes) {
    KTResContainerType* c = Open(KV_RM_FIXTURE_KEYS);
    EXPECT_TRUE(RMDoesNativeResourceExist(c, kXCLI, 1000));
    {
        KCStNativeRes raw(c, kPNG, 1000);
        ASSERT_TRUE(raw.IsValid());
        EXPECT_EQ(std::memcmp(raw.GetResData(), "BLOB-ONE", 8), 0);
    }
    KCStNativeRes missing(c, kPNG, 5);
    EXPECT_FALSE(missing.IsValid());
}

TEST_F(ResourceManager, XmlResourcesAreParsedTreesSharedByTheirHolders) {
    KTResContainerType* self = nullptr;
    ASSERT_EQ(
        RMAttachResContainer(static_cast<KTNativeContainerType*>(dlopen(nullptr, RTLD_NOW)), self),
        eNoErr);
    CXMLElement* root = nullptr;
    KTResourceType* r1 = nullptr;
    ASSERT_EQ(GetXMLResource(self, kXCLI, 1000, root, r1), eNoErr);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->name.c_str(), "Components");
    ASSERT_EQ(root->children.size(), 1u);
    unsigned long size = 0;
    RMGetResSize(r1, size);
    EXPECT_EQ(size, 1u);

    CXMLElement* same = nullptr;
    KTResourceType* r2 = nullptr;
    ASSERT_EQ(GetXMLResource(self, kXCLI, 1000, same, r2), eNoErr);
    EXPECT_EQ(same, root);
    EXPECT_EQ(r2, r1);

    // The copy of an XML resource is its text, not the bytes of the tree.
    KCMemObj copy;
    ASSERT_EQ(RMCopyResourceToMemObj(r1, copy), eNoErr);
    const std::string text = Bytes(copy.GetPtr(), copy.GetPtrSize());
    EXPECT_NE(text.find("<Components>"), std::string::npos) << text;
    EXPECT_NE(text.find("Dulm"), std::string::npos) << text;
    copy.DisposePtr();
    RMReleaseResource(r2);
    RMReleaseResource(r1);
    EXPECT_EQ(r1, nullptr);

    struct Case {
        KCFourCC type;
        KTErr expected;
    } failures[] = {{KV_FOURCC("XBAD"), eXMLParserFailed}, {KV_FOURCC("XSHT"), eMemNullPointer}};
    for (const Case& f : failures) {
        root = reinterpret_cast<CXMLElement*>(&size);
        KTResourceType* r = nullptr;
        EXPECT_EQ(GetXMLResource(self, f.type, 1000, root, r), f.expected);
        EXPECT_EQ(root, nullptr);
        EXPECT_EQ(r, nullptr);
        bool loaded = true;
        RMIsResourceLoaded(self, f.type, 1000, loaded);
        EXPECT_FALSE(loaded) << "a failed load keeps nothing";
    }
}

TEST_F(ResourceManager, AResourceHeldInOneFormIsNotHandedOutInAnother) {
    KTResContainerType* c = Open(KV_RM_FIXTURE_KEYS);
    KTResourceType* raw = nullptr;
    ASSERT_EQ(RMGetAResource(c, kXCLI, 1000, raw, nullptr), eNoErr);
    CXMLElement* root = nullptr;
    KTResourceType* xml = nullptr;
    EXPECT_EQ(GetXMLResource(c, kXCLI, 1000, root, xml), eRMResExists);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(xml, nullptr);
    EXPECT_EQ(reinterpret_cast<KSResRecord*>(raw)->refCount, 1);
    RMReleaseResource(raw);

    ASSERT_EQ(GetXMLResource(c, kXCLI, 1000, root, xml), eNoErr);
    EXPECT_EQ(RMGetAResource(c, kXCLI, 1000, raw, nullptr), eRMResExists);
    EXPECT_EQ(raw, nullptr);

    // Replacing the data replaces the converter with it: the raw bytes are
    // then copied and freed as bytes, not as a tree.
    KTResourceType* replaced = nullptr;
    ASSERT_EQ(RMAddOrReplaceResource(c, kXCLI, 1000, HeapCopy("<new/>"), 6, replaced, nullptr),
              eNoErr);
    EXPECT_EQ(replaced, xml);
    KCMemObj copy;
    ASSERT_EQ(RMCopyResourceToMemObj(replaced, copy), eNoErr);
    EXPECT_EQ(Bytes(copy.GetPtr(), copy.GetPtrSize()), "<new/>");
    copy.DisposePtr();
    RMReleaseResource(replaced);
}

TEST_F(ResourceManager, AddRefusesKeysThatExist) {
    KTResContainerType* c = Open(KV_RM_FIXTURE_KEYS);
    void* data = HeapCopy("mine");
    KTResourceType* r = reinterpret_cast<KTResourceType*>(&data);
    EXPECT_EQ(RMAddResource(c, kPNG, 1000, data, 4, r, nullptr), eRMResExists);
    EXPECT_EQ(r, nullptr);
    ASSERT_EQ(RMAddResource(c, kPNG, 7, data, 4, r, nullptr), eNoErr);
    KTResourceType* again = nullptr;
    void* other = HeapCopy("other");
    EXPECT_EQ(RMAddResource(c, kPNG, 7, other, 5, again, nullptr), eRMResExists);
    KCMemUtils::DisposeKTPtr(other); // still the caller's

    KTResContainerType* bogus = reinterpret_cast<KTResContainerType*>(&data);
    EXPECT_EQ(RMAddResource(nullptr, kPNG, 8, other, 0, again, nullptr), eMemNullPointer);
    EXPECT_EQ(RMAddResource(bogus, kPNG, 8, other, 0, again, nullptr), eRMContainerNotFound);
    EXPECT_EQ(RMAddOrReplaceResource(bogus, kPNG, 8, other, 0, again, nullptr),
              eRMContainerNotFound);

    // An added XML tree belongs to its resource: the last release deletes it
    // (LeakSanitizer would report it otherwise).
    KTResourceType* xml = nullptr;
    ASSERT_EQ(AddXMLResource(c, kXPLL, 1, new CXMLElement("Tree", "text"), xml), eNoErr);
    EXPECT_EQ(RMReleaseResource(xml), eNoErr);
    EXPECT_EQ(xml, nullptr);
}

TEST_F(ResourceManager, WritingAddsReplacesAndDeletesThroughANewFile) {
    const fs::path file = CopyOfKeys();
    const auto original = ReadBytes(file);
    KTResContainerType* c = Open(file, 1);
    KTNativeContainerType* moduleBefore = nullptr;
    RMGetNativeContainer(c, moduleBefore);

    KTResourceType* added = nullptr;
    ASSERT_EQ(RMAddResource(c, KV_FOURCC("NEW_"), 5, HeapCopy("fresh"), 5, added, nullptr), eNoErr);
    KTResourceType* replaced = nullptr;
    ASSERT_EQ(RMAddOrReplaceResource(c, kPNG, 1001, HeapCopy("REPLACED"), 8, replaced, nullptr),
              eNoErr);
    KTResourceType* doomed = nullptr;
    ASSERT_EQ(RMGetAResource(c, kPNG, 1000, doomed, nullptr), eNoErr);
    ASSERT_EQ(RMDeleteResource(doomed), eNoErr);
    auto* tree = new CXMLElement("Info", "");
    tree->push_back(new CXMLElement("Name", "Dulm"));
    KTResourceType* xml = nullptr;
    ASSERT_EQ(AddXMLResource(c, KV_FOURCC("Xinf"), 1000, tree, xml), eNoErr);
    EXPECT_EQ(ReadBytes(file), original) << "nothing is written before the write";

    ASSERT_EQ(RMWriteResContainer(c), eNoErr);
    EXPECT_EQ(ReadBytes(KV_RM_FIXTURE_KEYS), original) << "the copy's source is untouched";
    KTNativeContainerType* moduleAfter = nullptr;
    RMGetNativeContainer(c, moduleAfter);
    EXPECT_NE(moduleAfter, moduleBefore) << "a written container holds a new module";
    bool loaded = true;
    RMIsResourceLoaded(c, kPNG, 1000, loaded);
    EXPECT_FALSE(loaded) << "a written deletion leaves the table";
    EXPECT_EQ(reinterpret_cast<KSResRecord*>(added)->state, 0u);

    // What another reader of the file sees.
    std::unique_ptr<kvElfRes::Image> image;
    ASSERT_EQ(kvElfRes::Image::OpenFile(file, image), eNoErr);
    using kvElfRes::ResName;
    auto text = [&](const char* type, uint16_t id) {
        const auto* r = image->Find(ResName::Name(type), ResName::Number(id));
        return r ? Bytes(image->Data(*r), r->size) : "<missing>";
    };
    EXPECT_EQ(text("NEW_", 5), "fresh");
    EXPECT_EQ(text("PNG_", 1001), "REPLACED");
    EXPECT_EQ(text("PNG_", 1000), "<missing>");
    EXPECT_NE(text("XINF", 1000).find("<Name>Dulm</Name>"), std::string::npos)
        << text("XINF", 1000);
    EXPECT_NE(text("XCLI", 1000).find("<Components>"), std::string::npos) << "kept as it was";

    RMReleaseResource(added);
    RMReleaseResource(replaced);
    RMReleaseResource(xml);
    RMCloseResContainer(c);

    // Reopened, the container serves the new content.
    c = Open(file);
    CXMLElement* root = nullptr;
    KTResourceType* info = nullptr;
    ASSERT_EQ(GetXMLResource(c, KV_FOURCC("XINF"), 1000, root, info), eNoErr);
    EXPECT_STREQ(root->name.c_str(), "Info");
    RMReleaseResource(info);
}

TEST_F(ResourceManager, AWrittenDeletionKeepsTheRecordUntilItsHoldersRelease) {
    KTResContainerType* c = Open(CopyOfKeys(), 1);
    Counting::loads = Counting::releases = 0;
    KTResourceType* deleter = nullptr;
    KTResourceType* reader = nullptr;
    ASSERT_EQ(RMGetAResource(c, kPNG, 1000, deleter, &Counting::funcs), eNoErr);
    ASSERT_EQ(RMGetAResource(c, kPNG, 1000, reader, &Counting::funcs), eNoErr);
    ASSERT_EQ(RMDeleteResource(deleter), eNoErr);
    ASSERT_EQ(RMWriteResource(deleter), eNoErr);
    EXPECT_FALSE(RMDoesNativeResourceExist(c, kPNG, 1000));
    bool loaded = true;
    RMIsResourceLoaded(c, kPNG, 1000, loaded);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(RMUpdateResource(reader, nullptr, 0), eRMResNotFound) << "its key is gone";

    // Each get is paired with a release: the data stays valid until the
    // last one, whichever holder deleted it.
    EXPECT_EQ(RMReleaseResource(deleter), eRMResRefNotFound);
    EXPECT_EQ(deleter, nullptr);
    EXPECT_EQ(Counting::releases, 0);
    void* data = nullptr;
    RMGetResData(reader, data);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(Bytes(data, 8), "BLOB-ONE");
    EXPECT_EQ(RMReleaseResource(reader), eRMResRefNotFound);
    EXPECT_EQ(reader, nullptr);
    EXPECT_EQ(Counting::releases, 1);

    // A holder that never releases leaves the record to the container,
    // which frees it when it goes (LeakSanitizer checks that).
    KTResourceType* kept = nullptr;
    ASSERT_EQ(RMGetAResource(c, kPNG, 1001, kept, nullptr), eNoErr);
    ASSERT_EQ(RMDeleteResource(kept), eNoErr);
    ASSERT_EQ(RMWriteResContainer(c), eNoErr);
    RMGetResData(kept, data);
    EXPECT_EQ(Bytes(data, 9), "BLOB-TWO!");
}

TEST_F(ResourceManager, WriteOneResourceLeavesOtherChangesPending) {
    const fs::path file = CopyOfKeys();
    KTResContainerType* c = Open(file, 1);
    KTResourceType* one = nullptr;
    KTResourceType* two = nullptr;
    ASSERT_EQ(RMAddResource(c, KV_FOURCC("ONE_"), 1, HeapCopy("1"), 1, one, nullptr), eNoErr);
    ASSERT_EQ(RMAddResource(c, KV_FOURCC("TWO_"), 2, HeapCopy("2"), 1, two, nullptr), eNoErr);
    ASSERT_EQ(RMWriteResource(one), eNoErr);
    EXPECT_TRUE(RMDoesNativeResourceExist(c, KV_FOURCC("ONE_"), 1));
    EXPECT_FALSE(RMDoesNativeResourceExist(c, KV_FOURCC("TWO_"), 2));
    EXPECT_EQ(reinterpret_cast<KSResRecord*>(two)->state, unsigned(eResAdded));
    RMReleaseResource(one);
    RMReleaseResource(two);

    // An empty table writes nothing and leaves the file alone.
    const auto before = fs::last_write_time(file);
    const auto bytes = ReadBytes(file);
    EXPECT_EQ(RMWriteResContainer(c), eNoErr);
    EXPECT_EQ(fs::last_write_time(file), before);
    EXPECT_EQ(ReadBytes(file), bytes);
}

TEST_F(ResourceManager, ContainersOpenedWithoutWritePermissionRefuseEveryChange) {
    const fs::path file = CopyOfKeys();
    const auto original = ReadBytes(file);
    KTResContainerType* c = Open(file, 0);
    KTResourceType* added = nullptr;
    ASSERT_EQ(RMAddResource(c, KV_FOURCC("NEW_"), 1, HeapCopy("x"), 1, added, nullptr), eNoErr);
    KTResourceType* doomed = nullptr;
    ASSERT_EQ(RMGetAResource(c, kPNG, 1000, doomed, nullptr), eNoErr);
    ASSERT_EQ(RMDeleteResource(doomed), eNoErr);

    EXPECT_EQ(RMWriteResContainer(c), eFMPermissionErr);
    EXPECT_EQ(RMWriteResource(doomed), eFMPermissionErr);
    EXPECT_EQ(ReadBytes(file), original);
    // Nothing was marked done: the changes are still pending.
    EXPECT_EQ(reinterpret_cast<KSResRecord*>(added)->state, unsigned(eResAdded));
    EXPECT_EQ(reinterpret_cast<KSResRecord*>(doomed)->state, unsigned(eResDeleted));
    EXPECT_TRUE(RMDoesNativeResourceExist(c, kPNG, 1000));

    // A failed write (the file vanished) keeps the container usable.
    KTResContainerType* w = nullptr;
    const fs::path other = dir / "other.so";
    fs::copy_file(KV_RM_FIXTURE_KEYS, other);
    ASSERT_EQ(RMOpenResContainer(PathOf(other), 1, w), eNoErr);
    KTResourceType* pending = nullptr;
    ASSERT_EQ(RMAddResource(w, KV_FOURCC("NEW_"), 1, HeapCopy("x"), 1, pending, nullptr), eNoErr);
    fs::remove(other);
    EXPECT_NE(RMWriteResContainer(w), eNoErr);
    EXPECT_EQ(reinterpret_cast<KSResRecord*>(pending)->state, unsigned(eResAdded));
    KCStRes stillThere(w, kPNG, 1001, nullptr);
    EXPECT_TRUE(stillThere.IsValid()) << "the container still serves what it read";
}

TEST_F(ResourceManager, AttachingLoadedModules) {
    void* lib = dlopen(KV_RM_FIXTURE_KEYS, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto* module = static_cast<KTNativeContainerType*>(lib);

    KTResContainerType* found = reinterpret_cast<KTResContainerType*>(&lib);
    EXPECT_EQ(RMGetResContainer(module, found), eNoErr);
    EXPECT_EQ(found, nullptr);

    {
        KCStResContainer attached(module);
        ASSERT_TRUE(attached.IsValid());
        kvFM::KCStPath path;
        attached.GetPath(path);
        EXPECT_TRUE(path == PathOf(fs::canonical(KV_RM_FIXTURE_KEYS)));
        EXPECT_EQ(attached.GetNativeContainerRef(), module);
        EXPECT_TRUE(attached.DoesNativeResourceExist(kXCLI, 1000));
        RMGetResContainer(module, found);
        EXPECT_EQ(found, attached.GetResContainerRef());

        // Opening the loaded file from its path finds the same container.
        KTResContainerType* opened = Open(fs::canonical(KV_RM_FIXTURE_KEYS));
        EXPECT_EQ(opened, attached.GetResContainerRef());
        EXPECT_EQ(RMContainerOpenCount(opened), 2);
        RMCloseResContainer(opened);
    }
    EXPECT_EQ(RMGetResContainer(module, found), eNoErr);
    EXPECT_EQ(found, nullptr);

    // A module opened from its path first, then attached by handle, is one
    // container; closing it never unloads the module.
    KTResContainerType* opened = Open(KV_RM_FIXTURE_KEYS);
    KTNativeContainerType* native = nullptr;
    RMGetNativeContainer(opened, native);
    EXPECT_EQ(native, module);
    KTResContainerType* attached = nullptr;
    ASSERT_EQ(RMAttachResContainer(module, attached), eNoErr);
    EXPECT_EQ(attached, opened);
    EXPECT_EQ(RMContainerOpenCount(opened), 2);
    RMDetachResContainer(attached);
    RMCloseResContainer(opened);
    EXPECT_NE(dlsym(lib, "kv_rm_fixture"), nullptr);
    dlclose(lib);

    // Handles that are no module are refused, never followed.
    for (void* bad : {static_cast<void*>(nullptr), static_cast<void*>(&found)}) {
        KTResContainerType* out = reinterpret_cast<KTResContainerType*>(&lib);
        const KTErr err = RMAttachResContainer(static_cast<KTNativeContainerType*>(bad), out);
        EXPECT_EQ(err, eRMInvalidNativeResContainer);
        EXPECT_EQ(out, reinterpret_cast<KTResContainerType*>(&lib)) << "out is not set";
        KCStResContainer scoped(static_cast<KTNativeContainerType*>(bad));
        EXPECT_FALSE(scoped.IsValid());
    }
}

TEST_F(ResourceManager, TheProgramAttachesItself) {
    auto* self = static_cast<KTNativeContainerType*>(dlopen(nullptr, RTLD_NOW));
    KCStResContainer program(self);
    ASSERT_TRUE(program.IsValid()) << program.GetError();
    kvFM::KCStPath path;
    program.GetPath(path);
    EXPECT_TRUE(path == PathOf(fs::read_symlink("/proc/self/exe")));
    KCStRes components(program.GetResContainerRef(), kXCLI, 1000, nullptr);
    ASSERT_TRUE(components.IsValid());
    EXPECT_NE(Bytes(components.GetResData(), components.GetResSize()).find("<Components>"),
              std::string::npos);
    // The program is never writable through its attached container.
    KTResourceType* r = nullptr;
    ASSERT_EQ(RMAddResource(program.GetResContainerRef(), KV_FOURCC("NEW_"), 1, HeapCopy("x"), 1, r,
                            nullptr),
              eNoErr);
    EXPECT_EQ(RMWriteResource(r), eFMPermissionErr);
}

TEST_F(ResourceManager, ScopedResourcesAndDuplicates) {
    KTResContainerType* c = Open(KV_RM_FIXTURE_KEYS);
    KTResourceType* kept = nullptr;
    {
        KCStRes res(c, kPNG, 1000, nullptr);
        ASSERT_TRUE(res.IsValid());
        res.SetReleaseInDestructor(false);
        kept = res.GetResRef();
        KCMemObj copy;
        ASSERT_EQ(res.CopyResourceToMemObj(copy), eNoErr);
        EXPECT_EQ(Bytes(copy.GetPtr(), copy.GetPtrSize()), "BLOB-ONE");
        copy.DisposePtr();
    }
    bool loaded = false;
    RMIsResourceLoaded(c, kPNG, 1000, loaded);
    EXPECT_TRUE(loaded) << "the handle outlives the object";
    RMReleaseResource(kept);
    {
        KCStRes missing(c, kPNG, 4242, nullptr);
        EXPECT_FALSE(missing.IsValid());
        EXPECT_EQ(missing.GetError(), eRMResNotFound);
        KCMemObj copy;
        EXPECT_EQ(missing.CopyResourceToMemObj(copy), eRMResNotFound);
    }

    const fs::path target = CopyOfKeys();
    const auto before = ReadBytes(target);
    KTResContainerType* t = Open(target, 1);
    EXPECT_EQ(KCRMUtils::DuplicateResToRes(c, kPNG, 4242, t, kPNG, 1), eRMResNotFound);
    EXPECT_EQ(ReadBytes(target), before);
    EXPECT_FALSE(RMDoesNativeResourceExist(t, kPNG, 1));
    ASSERT_EQ(KCRMUtils::DuplicateResToRes(c, kPNG, 1000, t, KV_FOURCC("COPY"), 1), eNoErr);
    KCStNativeRes copied(t, KV_FOURCC("COPY"), 1);
    ASSERT_TRUE(copied.IsValid());
    EXPECT_EQ(std::memcmp(copied.GetResData(), "BLOB-ONE", 8), 0);

    // Into a container that may not be written, the failure is reported.
    KTResContainerType* readOnly = Open(KV_RM_FIXTURE_TYPES, 0);
    EXPECT_EQ(KCRMUtils::DuplicateResToRes(c, kPNG, 1000, readOnly, KV_FOURCC("COPY"), 1),
              eFMPermissionErr);
}
