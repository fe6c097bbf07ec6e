#include "hosting/BufferDescriptors.h"
#include "hosting/DSPReqRes.h"
#include "hosting/ProcCodeDesc.h"
#include "hosting/ProcessCodeManager.h"
#include "hosting/ProcessorSpec.h"

#include "HostingFixture.h"

#include <gmock/gmock.h>

#include <new>

using kvXML::CXMLElement;
using ::testing::ElementsAre;

namespace {

constexpr int32_t k56k = eProcessorFamily56k, kPPC = eProcessorFamilyPPC,
                  kx86 = eProcessorFamilyx86;

CProcCodeDesc Desc(int32_t family, std::vector<int32_t> cycles) {
    CProcCodeDesc d;
    d.ProcessorFamily() = static_cast<EProcessorFamily>(family);
    d.CyclesList() = std::move(cycles);
    return d;
}

CProcCodeDesc ReadDesc(const std::string& xml) {
    CProcCodeDesc d;
    d.ReadFromXML(ParseXML(xml).get());
    return d;
}

// Processor specification

TEST(ProcessorSpec, NamesValidityAndDescriptions) {
    struct Case {
        SProcessorSpec spec;
        bool valid;
        const char* specificName;
        const char* description;
    };
    const Case cases[] = {
        {SProcessorSpec(), false, "Unknown Processor family", "Unknown Processor family"},
        {SProcessorSpec(0, 0), false, "Unknown Processor family", "Unknown Processor family"},
        {SProcessorSpec(kx86, 0), true, "Generic", "x86/Generic"},
        {SProcessorSpec(kx86, -1), false, "Unknown", "x86"},
        {SProcessorSpec(k56k, 2), true, "56300", "56k/56300"},
        {SProcessorSpec(kPPC, 6), true, "750", "PPC/750"},
        {SProcessorSpec(kPPC, 7), false, "Unknown", "PPC"},
        {SProcessorSpec(kx86, 4), true, "PentiumPro", "x86/PentiumPro"},
        {SProcessorSpec(4, 0), false, "Unknown Processor family", "Unknown Processor family"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(c.spec.IsValidSpec(), c.valid);
        EXPECT_EQ(GetProcessorSpecificName(c.spec), c.specificName);
        EXPECT_EQ(GetProcessorSpecDescription(c.spec), c.description);
    }
    EXPECT_EQ(GetProcessorFamilyFromName("x86"), kx86);
    EXPECT_EQ(GetProcessorFamilyFromName("X86"), 0);
    for (int32_t family : {k56k, kPPC, kx86}) {
        const std::string any = "Any" + GetProcessorFamilyName(family);
        EXPECT_EQ(GetProcessorSpecificFromName(family, any), 0) << any;
        EXPECT_EQ(GetProcessorSpecificFromName(family, "Generic"), 0);
    }
    EXPECT_EQ(GetProcessorSpecificFromName(kPPC, "Pentium"), -1);
    EXPECT_EQ(GetProcessorSpecificFromName(0, "Generic"), -1);
}

TEST(ProcessorSpec, WeakerSpecAndXML) {
    SProcessorSpec out(9, 9);
    EXPECT_TRUE(GetWeakerSpec(SProcessorSpec(kx86, 3), SProcessorSpec(kx86, 1), out));
    EXPECT_EQ(out, SProcessorSpec(kx86, 1));
    const SProcessorSpec second(kx86, 2);
    EXPECT_TRUE(GetWeakerSpec(SProcessorSpec(kx86, 2), second, out));
    EXPECT_EQ(out, second);
    EXPECT_FALSE(GetWeakerSpec(SProcessorSpec(kx86, 1), SProcessorSpec(kPPC, 0), out));
    EXPECT_EQ(out, second);

    CXMLElement element("procSpec", "");
    Write_SProcessorSpec_ToXML(SProcessorSpec(k56k, 1), &element);
    EXPECT_THAT(ChildTexts(element), ElementsAre("56k", "56000"));
    SProcessorSpec read;
    Read_SProcessorSpec_FromXML(&element, read);
    EXPECT_EQ(read, SProcessorSpec(k56k, 1));

    SProcessorSpec early;
    Read_SProcessorSpec_FromXML(
        ParseXML("<p><specific>56000</specific><family>56k</family></p>").get(), early);
    EXPECT_EQ(early, SProcessorSpec(k56k, -1)) << "the family must come first";
}

// Buffer descriptors

TEST(BufferDescriptors, XMLFormAndComparisons) {
    CXMLElement element("sEXT_BUFF", "");
    Write_sEXT_BUFF_ToXML(sEXT_BUFF(), &element);
    EXPECT_THAT(ChildTexts(element), ElementsAre("????", "0", "0", "0", "0", "0", "0", "0", "0"));
    EXPECT_THAT(ChildNames(element),
                ElementsAre("MemSpace", "Count", "Flags", "Offset", "refCon", "localOfs",
                            "lNumAccessesPerSample", "lNumWaitStates", "memAlign"));

    for (const char* text :
         {"<b><MemSpace>'XMEM'</MemSpace></b>", "<b><MemSpace>XMEM</MemSpace></b>",
          "<b><MemSpace>XMEMORY</MemSpace></b>"}) {
        sEXT_BUFF b;
        Read_sEXT_BUFF_FromXML(b, ParseXML(text).get());
        EXPECT_EQ(b.MemSpace.Get(), KV_FOURCC("XMEM")) << text;
    }
    sEXT_BUFF shortCode;
    Read_sEXT_BUFF_FromXML(shortCode, ParseXML("<b><MemSpace>'X</MemSpace></b>").get());
    EXPECT_EQ(shortCode.MemSpace.Get(), KV_FOURCC("X   ")) << "missing characters are blanks";

    sEXT_BUFF full;
    Read_sEXT_BUFF_FromXML(full,
                           ParseXML("<b><Count> -12abc</Count><Flags>3</Flags><Offset>x</Offset>"
                                    "<lNumWaitStates>7</lNumWaitStates><memAlign>16</memAlign>"
                                    "<Unknown>5</Unknown><Count>4</Count></b>")
                               .get());
    EXPECT_EQ(full.Count, 4) << "a later child overwrites";
    EXPECT_EQ(full.Flags, 3);
    EXPECT_EQ(full.Offset, 0);
    EXPECT_EQ(full.lNumWaitStates, 7);
    EXPECT_EQ(full.memAlign, 16);

    sEXT_BUFF a, b;
    b.Offset = 5;
    b.refCon = 2;
    EXPECT_TRUE(IsSameRequirement(a, b));
    EXPECT_FALSE(a == b);
    b.lNumAccessesPerSample = 1;
    EXPECT_FALSE(IsSameRequirement(a, b));
}

TEST(BufferDescriptors, PlainRequirementsCopyTheirArrayIndependently) {
    DSPRequiredResources source(100, 50);
    source.externalBuffersNum = 3;
    source.externalBuffers = NewExtBuffArray(3);
    source.externalBuffers[2].Count = 9;
    source.resID = 4400;

    DSPRequiredResources copy(source);
    ASSERT_NE(copy.externalBuffers, nullptr);
    EXPECT_NE(copy.externalBuffers, source.externalBuffers);
    EXPECT_EQ(copy.externalBuffers[2].Count, 9);
    EXPECT_EQ(copy.internalP, 100);
    EXPECT_EQ(copy.cycleCount, 50);
    copy.externalBuffers[2].Count = 1;
    EXPECT_EQ(source.externalBuffers[2].Count, 9);

    DSPRequiredResources zeroCount;
    zeroCount.externalBuffers = NewExtBuffArray(1);
    DSPRequiredResources noArray;
    noArray = zeroCount;
    EXPECT_EQ(noArray.externalBuffers, nullptr);

    copy = copy;
    EXPECT_NE(copy.externalBuffers, nullptr);
    copy.Reset();
    EXPECT_EQ(copy.externalBuffers, nullptr);
    EXPECT_EQ(copy.internalP, 0);
    EXPECT_EQ(copy.externalBuffersNum, 0u);
}

TEST(BufferDescriptors, ImpossibleArraySizesFailAndKeepNothing) {
    EXPECT_EQ(NewExtBuffArray(0), nullptr);
    EXPECT_THROW(NewExtBuffArray(UINT32_MAX / 36 + 1), std::bad_alloc);
    EXPECT_EQ(NewExtBuffArrayOrNull(uint64_t(1) << 40), nullptr);

    DSPRequiredResources target(7, 8);
    target.externalBuffersNum = 1;
    target.externalBuffers = NewExtBuffArray(1);
    DSPRequiredResources huge;
    huge.externalBuffersNum = 0x80000000u;
    huge.externalBuffers = target.externalBuffers; // never read: the size is refused first
    EXPECT_THROW(target = huge, std::bad_alloc);
    huge.externalBuffers = nullptr;
    EXPECT_EQ(target.internalP, 7) << "a failed copy leaves the target as it was";
    EXPECT_EQ(target.externalBuffersNum, 1u);
}

// DSP resource requirements

SDSPReqRes RecordWithBuffers() {
    SDSPReqRes r(300, 120, SProcessorSpec(kx86, 3));
    r.internalX = 13;
    r.NumInputs = 2;
    r.NumOutputs = 2;
    r.VXParams_Delay = 5;
    r.externalBuffersNum = 2;
    r.extBuffs = NewExtBuffArray(2);
    r.extBuffs[0].MemSpace = KV_FOURCC("XMEM");
    r.extBuffs[1].MemSpace = KV_FOURCC("YMEM");
    r.extBuffs[1].Count = 64;
    r.extBuffs[1].Flags = 3;
    return r;
}

TEST(DSPReqRes, WrittenWithItsBuffersAndReadBackEqual) {
    const SDSPReqRes record = RecordWithBuffers();
    CXMLElement element("req", "");
    record.WriteToXML(&element);
    const std::vector<std::string> names = ChildNames(element);
    EXPECT_THAT(names, ElementsAre("DSPReqResStructVersion", "DSPReqResFlags", "internalX",
                                   "internalY", "internalP", "MaxSampleRate", "NumInputs",
                                   "NumSideChainInputs", "NumOutputs", "FirstSideChainChannel",
                                   "externalBuffersNum", "sEXT_BUFF", "sEXT_BUFF", "cycleCount",
                                   "extAccessCount", "refCon", "ci_refCon", "resID", "procSpec",
                                   "idleCodeResID", "idleInternalP", "VXParams_Delay"));

    // Through text, as a file would carry it.
    const auto reread = ParseXML(TextOf(element));
    SDSPReqRes fresh;
    fresh.ReadFromXML(reread.get());
    EXPECT_TRUE(fresh == record);
    SDSPReqRes holdingOne = RecordWithBuffers();
    holdingOne.externalBuffersNum = 1;
    holdingOne.extBuffs[1] = sEXT_BUFF();
    holdingOne.ReadFromXML(reread.get());
    EXPECT_TRUE(holdingOne == record) << "a shorter held array is replaced";

    SDSPReqRes differentRefCon = record;
    differentRefCon.refCon = 99;
    differentRefCon.ci_refCon = 98;
    EXPECT_TRUE(differentRefCon == record);
    differentRefCon.extBuffs[1].refCon = 1;
    EXPECT_FALSE(differentRefCon == record) << "entries compare in all nine fields";
}

TEST(DSPReqRes, ReadingNeverLeavesACountBeyondTheArray) {
    struct Case {
        const char* xml;
        uint32_t count;
        bool array;
    };
    const Case cases[] = {
        // Extra entries are ignored.
        {"<r><externalBuffersNum>1</externalBuffersNum><sEXT_BUFF/><sEXT_BUFF/></r>", 1, true},
        // A later, larger count stays within the array.
        {"<r><externalBuffersNum>1</externalBuffersNum><sEXT_BUFF/>"
         "<externalBuffersNum>5</externalBuffersNum></r>",
         1, true},
        // An entry before any count: no array of 0 entries.
        {"<r><sEXT_BUFF/><externalBuffersNum>2</externalBuffersNum></r>", 2, false},
        // A count that cannot be allocated.
        {"<r><externalBuffersNum>4000000000</externalBuffersNum><sEXT_BUFF/></r>", 0, false},
        // A count without entries makes no array.
        {"<r><externalBuffersNum>3</externalBuffersNum></r>", 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        SDSPReqRes r;
        r.ReadFromXML(ParseXML(c.xml).get());
        EXPECT_EQ(r.externalBuffersNum, c.count);
        EXPECT_EQ(r.extBuffs != nullptr, c.array);
        SDSPReqRes copy(r);
        EXPECT_TRUE(copy == r);
    }
}

TEST(DSPReqRes, EquivalenceAndAssignmentFromThePlainForm) {
    SDSPReqRes a = RecordWithBuffers(), b = RecordWithBuffers();
    b.procSpec = SProcessorSpec(kx86, 1);
    EXPECT_FALSE(SDSPReqRes::IsEquivalent(a, b, true, true, false));
    a.DSPReqResStructVersion = b.DSPReqResStructVersion = 1;
    EXPECT_TRUE(SDSPReqRes::IsEquivalent(a, b, true, true, false));
    b.cycleCount = 1;
    b.extBuffs[0].Offset = 3;
    EXPECT_FALSE(SDSPReqRes::IsEquivalent(a, b, false, true, false));
    EXPECT_TRUE(SDSPReqRes::IsEquivalent(a, b, false, true, true));
    b.extBuffs[1].Count = 1;
    EXPECT_FALSE(SDSPReqRes::IsEquivalent(a, b, false, true, true));
    EXPECT_TRUE(SDSPReqRes::IsEquivalent(a, b, false, false, true));

    DSPRequiredResources plain(40, 30);
    plain.NumInputs = 4;
    plain.externalBuffersNum = 1;
    plain.externalBuffers = NewExtBuffArray(1);
    plain.externalBuffers[0].Count = 11;
    SDSPReqRes r;
    r.DSPReqResStructVersion = 2;
    r.NumSideChainInputs = 1;
    r.FirstSideChainChannel = 3;
    r.VXParams_Delay = 8;
    r = plain;
    EXPECT_EQ(r.DSPReqResStructVersion, 2);
    EXPECT_EQ(r.NumSideChainInputs, 1);
    EXPECT_EQ(r.FirstSideChainChannel, 3);
    EXPECT_EQ(r.VXParams_Delay, 0u);
    EXPECT_EQ(r.procSpec, SProcessorSpec(k56k, 0));
    EXPECT_EQ(r.internalP, 40);
    ASSERT_NE(r.extBuffs, nullptr);
    EXPECT_EQ(r.extBuffs[0].Count, 11);

    r.ResetAllMembers();
    EXPECT_TRUE(r == SDSPReqRes());
}

// Process-code descriptions

TEST(ProcCodeDesc, DefaultDescriptionWritesItsFifteenFields) {
    CXMLElement element("compProcCodeDesc", "");
    CProcCodeDesc().WriteToXML(&element);
    EXPECT_THAT(ChildNames(element),
                ElementsAre("resType", "ProcessFunctionName", "resID", "IdleCodeResID",
                            "ProcessorFamily", "States", "Coefs", "InternalP", "IdleInternalP",
                            "NumInputs", "NumSideChainInputs", "NumOutputs", "MaxSampleRate",
                            "MIDIInput", "Vellix"));
    EXPECT_THAT(ChildTexts(element),
                ElementsAre("????", "", "0", "0", "Unknown Processor family", "0", "0", "0", "0",
                            "0", "0", "0", "0", "false", ""));
    const CXMLElement* vellix = element.children.back();
    ASSERT_EQ(vellix->children.size(), 1u);
    EXPECT_EQ(vellix->children[0]->name, "plugDelay");
    EXPECT_EQ(vellix->children[0]->text, "0");
}

TEST(ProcCodeDesc, CycleListsFromCanRunOn) {
    CProcCodeDesc generic =
        ReadDesc("<d><ProcessorFamily>x86</ProcessorFamily>"
                 "<CanRunOn><ProcessorSpecific>Anyx86</ProcessorSpecific></CanRunOn></d>");
    EXPECT_EQ(generic.ProcessorFamily(), kx86);
    EXPECT_THAT(generic.CyclesList(), ElementsAre(0));
    CXMLElement written("d", "");
    generic.WriteToXML(&written);
    const CXMLElement* canRunOn = kvXML::CMapNames(&written).FindElement("CanRunOn");
    ASSERT_NE(canRunOn, nullptr);
    EXPECT_THAT(ChildNames(*canRunOn), ElementsAre("ProcessorSpecific"));
    EXPECT_EQ(canRunOn->children[0]->text, "Generic");

    CProcCodeDesc pentium = Desc(kx86, {});
    pentium.ReadFromXML(ParseXML("<d><CanRunOn><CycleCount>120</CycleCount>"
                                 "<ProcessorSpecific>Pentium</ProcessorSpecific></CanRunOn></d>")
                            .get());
    EXPECT_THAT(pentium.CyclesList(), ElementsAre(-1, -1, -1, 120));

    CProcCodeDesc noFamily = ReadDesc("<d><CanRunOn><ProcessorSpecific>Generic</ProcessorSpecific>"
                                      "</CanRunOn><ProcessorFamily>x86</ProcessorFamily></d>");
    EXPECT_TRUE(noFamily.CyclesList().empty()) << "the family must be read first";

    // Round trip through text: entries beyond the family and trailing -1 go.
    CProcCodeDesc full = Desc(kPPC, {-1, 30, 0, -1, -1, -1, -1, 5, -1});
    full.ResType_() = KV_FOURCC("kvPP");
    full.ResID_() = -7;
    full.SetProcessFuncName("PEQSproc");
    full.ExternBuffDescs().resize(2);
    full.ExternBuffDescs()[0].memSpace = KV_FOURCC("YMEM");
    full.ExternBuffDescs()[0].flags = 3;
    full.ExternBuffDescs()[1].memAlign = 8;
    full.GetVXParams()->plugDelay = 12;
    CXMLElement element("ProcessCodeDescription", "");
    full.WriteToXML(&element);
    const CProcCodeDesc reread = ReadDesc(TextOf(element));
    CProcCodeDesc expected = full;
    expected.CyclesList() = {-1, 30, 0};
    EXPECT_TRUE(reread == expected);
    const std::string text = TextOf(element);
    EXPECT_NE(text.find("<cyclic"), std::string::npos);
    EXPECT_NE(text.find("<DRAM"), std::string::npos);
    EXPECT_EQ(text.find("<memAlign>0"), std::string::npos) << text;
}

TEST(ProcCodeDesc, RepeatedReadsBuffersResourceNumbersAndLongNames) {
    CProcCodeDesc d =
        ReadDesc("<d><ExternalReq><memSpace>XMEM</memSpace></ExternalReq>"
                 "<ExternalReq><memSpace>'YM</memSpace><theSize>9</theSize></ExternalReq>"
                 "<DSPCode resID=\"4400\">ignored</DSPCode><IdleDSPCode/></d>");
    ASSERT_EQ(d.ExternBuffDescs().size(), 2u);
    EXPECT_EQ(d.ExternBuffDescs()[1].memSpace.Get(), KV_FOURCC("YM  "));
    EXPECT_EQ(d.ExternBuffDescs()[1].theSize, 9);
    EXPECT_EQ(d.ResID_(), 4400);
    EXPECT_EQ(d.IdleResID_(), 0);
    d.ReadFromXML(ParseXML("<d><ExternalReq><accessCount>4</accessCount></ExternalReq>"
                           "<DSPCode>1</DSPCode></d>")
                      .get());
    ASSERT_EQ(d.ExternBuffDescs().size(), 1u) << "a later read's buffers replace the list";
    EXPECT_EQ(d.ExtAccessCount(), 4u);
    EXPECT_EQ(d.ResID_(), 4400);

    const std::string longName(80, 'p');
    d.ReadFromXML(
        ParseXML("<d><ProcessFunctionName>" + longName + "</ProcessFunctionName></d>").get());
    EXPECT_EQ(std::string(d.GetProcessFuncName()), longName.substr(0, 63));
}

TEST(ProcCodeDesc, ProcessorQueries) {
    const CProcCodeDesc x86 = Desc(kx86, {-1, 50});
    SProcessorSpec spec(kPPC, 6);
    EXPECT_TRUE(x86.FindWeakestProcessor(spec));
    EXPECT_EQ(spec, SProcessorSpec(kx86, 1));
    SProcessorSpec untouched(kPPC, 6);
    EXPECT_FALSE(Desc(kx86, {-1, -1}).FindWeakestProcessor(untouched));
    EXPECT_EQ(untouched, SProcessorSpec(kx86, 6)) << "the family is always set";

    struct Case {
        CProcCodeDesc desc;
        SProcessorSpec requested;
        bool runs;
        long cycles;
        SProcessorSpec actual;
    };
    const SProcessorSpec sentinel(9, 9);
    const Case cases[] = {
        {x86, SProcessorSpec(kx86, 4), false, -1, SProcessorSpec(kx86, 9)},
        {x86, SProcessorSpec(kx86, 1), true, 50, SProcessorSpec(kx86, 1)},
        {Desc(kPPC, {30, -1, 40}), SProcessorSpec(kPPC, 1), true, 30, SProcessorSpec(kPPC, 0)},
        {Desc(kPPC, {30, -1, 40}), SProcessorSpec(kPPC, -1), true, 30, SProcessorSpec(kPPC, 0)},
        {Desc(kPPC, {30, -1, 40}), SProcessorSpec(kx86, 0), false, -1, sentinel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(GetProcessorSpecDescription(c.requested));
        SProcessorSpec actual = sentinel;
        long cycles = 77;
        EXPECT_EQ(c.desc.CyclesForSpecificProcessor(c.requested, actual, cycles), c.runs);
        EXPECT_EQ(cycles, c.cycles);
        EXPECT_EQ(actual, c.actual);
    }
}

CProcCodeDesc DescWithBuffers(size_t count) {
    CProcCodeDesc d = Desc(kx86, {10, -1, 20});
    d.InternalX() = 13;
    d.TotalInputs() = 4;
    d.SideChainInputs() = 2;
    d.Outputs() = 2;
    d.ResID_() = -3;
    d.GetVXParams()->plugDelay = 6;
    for (size_t i = 0; i < count; ++i) {
        CProcCodeDesc::SExternBuffDesc b;
        b.memSpace = KV_FOURCC("XMEM");
        b.theSize = static_cast<int32_t>(100 + i);
        b.accessCount = 2;
        b.flags = 1;
        d.ExternBuffDescs().push_back(b);
    }
    return d;
}

TEST(ProcCodeDesc, RequirementsForOneProcessorFillTheBufferArraySafely) {
    const CProcCodeDesc desc = DescWithBuffers(3);
    struct Case {
        const char* what;
        uint32_t flags;
        uint32_t heldCount; // 0: no array held
        bool filled;
    };
    const Case cases[] = {
        {"allocate anew", 3, 1, true},         {"fill without an array", 1, 0, true},
        {"fill a shorter array", 1, 1, true},  {"fill a large enough array", 1, 5, true},
        {"no request, no array", 0, 0, false}, {"no request, a shorter array", 0, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SDSPReqRes req;
        req.DSPReqResFlags = c.flags;
        if (c.heldCount != 0) {
            req.externalBuffersNum = c.heldCount;
            req.extBuffs = NewExtBuffArray(c.heldCount);
        }
        desc.DSPReqResForSpecificProcessor(SProcessorSpec(kx86, 2), req);
        EXPECT_EQ(req.cycleCount, 20);
        EXPECT_EQ(req.procSpec, SProcessorSpec(kx86, 2));
        EXPECT_EQ(req.FirstSideChainChannel, 2);
        EXPECT_EQ(req.extAccessCount, 6);
        EXPECT_EQ(req.externalBuffersNum, 3u);
        EXPECT_EQ(req.resID, -3);
        EXPECT_EQ(req.DSPReqResFlags, 0u);
        EXPECT_EQ(req.VXParams_Delay, 6u);
        ASSERT_EQ(req.extBuffs != nullptr, c.filled);
        if (c.filled) {
            EXPECT_EQ(req.extBuffs[2].Count, 102);
            EXPECT_EQ(req.extBuffs[2].MemSpace.Get(), KV_FOURCC("XMEM"));
            EXPECT_EQ(req.extBuffs[2].lNumAccessesPerSample, 2);
            EXPECT_EQ(req.extBuffs[2].Flags, 1);
        }
    }

    SDSPReqRes refused;
    refused.DSPReqResFlags = 1;
    refused.internalX = 5;
    desc.DSPReqResForSpecificProcessor(SProcessorSpec(kPPC, 0), refused);
    EXPECT_EQ(refused.cycleCount, -1);
    EXPECT_EQ(refused.internalX, 5);
    EXPECT_EQ(refused.DSPReqResFlags, 0u);
    EXPECT_EQ(refused.VXParams_Delay, 6u);
}

// Process-code manager

CProcessCodeManager Manager(std::vector<CProcCodeDesc> descs) {
    CProcessCodeManager m;
    m.ProcCodeDescs() = std::move(descs);
    return m;
}

TEST(ProcessCodeManager, WeakestProcessorAndProcessorChoice) {
    const CProcessCodeManager m = Manager({Desc(kx86, {-1, 40}), Desc(kx86, {-1, -1, 30})});
    SProcessorSpec spec;
    EXPECT_TRUE(m.FindWeakestProcessor(spec));
    EXPECT_EQ(spec, SProcessorSpec(kx86, 1));

    struct Case {
        SProcessorSpec requested;
        bool runs;
        SProcessorSpec actual;
    };
    const SProcessorSpec sentinel(9, 9);
    for (const Case& c : {Case{SProcessorSpec(kx86, 2), true, SProcessorSpec(kx86, 2)},
                          Case{SProcessorSpec(kx86, 4), false, sentinel},
                          Case{SProcessorSpec(kx86, 1), true, SProcessorSpec(kx86, 1)}}) {
        SProcessorSpec actual = sentinel;
        EXPECT_EQ(m.CanRunOnSpecificProcessor(c.requested, actual), c.runs);
        EXPECT_EQ(actual, c.actual);
    }
    const CProcessCodeManager fallback = Manager({Desc(kx86, {10}), Desc(kx86, {-1, -1, 20})});
    SProcessorSpec actual;
    EXPECT_TRUE(fallback.CanRunOnSpecificProcessor(SProcessorSpec(kx86, 3), actual));
    EXPECT_EQ(actual, SProcessorSpec(kx86, 0));

    SProcessorSpec untouched(9, 9);
    EXPECT_FALSE(Manager({Desc(kx86, {10}), Desc(kPPC, {0})}).FindWeakestProcessor(untouched));
    EXPECT_EQ(untouched, SProcessorSpec(9, 9));
    EXPECT_TRUE(Manager({Desc(kPPC, {0}), Desc(kx86, {10}), Desc(kx86, {5})})
                    .FindWeakestProcessor(untouched));
    EXPECT_EQ(untouched, SProcessorSpec(kx86, 0));

    SDSPReqRes req;
    EXPECT_FALSE(
        CProcessCodeManager().GetDSPReqResForSpecificProcessor(SProcessorSpec(kx86, 0), req));
    EXPECT_FALSE(CProcessCodeManager().FindWeakestProcessor(untouched));
    EXPECT_TRUE(Manager({Desc(k56k, {-1, 5}), Desc(k56k, {8})})
                    .GetDSPReqResForSpecificProcessor(SProcessorSpec(k56k, 2), req));
    EXPECT_EQ(req.cycleCount, 8);
    EXPECT_EQ(req.procSpec, SProcessorSpec(k56k, 2));
}

TEST(ProcessCodeManager, XMLAndCodeSizeFixes) {
    CProcessCodeManager m;
    m.SetResBase(-5);
    CXMLElement element("m", "");
    m.WriteToXML(&element);
    EXPECT_THAT(ChildNames(element), ElementsAre("resBase"));
    EXPECT_EQ(element.children[0]->text, "-5");

    CProcCodeDesc a = Desc(kx86, {0}), b = Desc(kx86, {0});
    a.ResID_() = 4400;
    b.ResID_() = 4401;
    b.IdleResID_() = 4400;
    m = Manager({a, b, a});
    m.SetResBase(7000);
    m.FixCodeNum(4400, 1024);
    m.FixIdleCodeNum(4400, 64);
    EXPECT_EQ(m.ProcCodeDescs()[0].InternalP(), 1024u);
    EXPECT_EQ(m.ProcCodeDescs()[1].InternalP(), 0u);
    EXPECT_EQ(m.ProcCodeDescs()[1].IdleInternalP(), 64u);
    EXPECT_EQ(m.ProcCodeDescs()[2].InternalP(), 1024u);

    CXMLElement full("m", "");
    m.WriteToXML(&full);
    CProcessCodeManager reread;
    reread.ReadFromXML(ParseXML(TextOf(full)).get());
    EXPECT_TRUE(reread == m);
}

} // namespace
