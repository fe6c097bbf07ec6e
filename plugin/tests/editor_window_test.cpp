// The plug-in's editor in a real window, hosted as the host's editor view
// hosts it (a frame with a child OpenGL window whose mouse events go to the
// KP_ entries), against a u2c-sim daemon: the frame's title and icon, the
// view size, a drag of the Balance fader with real pointer events, undo and
// redo from the tool bar, and what the board saw.
#include "display_harness.h"

#include "foundation/RM.h"
#include "foundation/ResConverters.h"
#include "hosting/PluginInterface.h"
#include "sim/SimDaemon.h"
#include "ui/GMRenderer.h"
#include "ui/GMText.h"
#include "ui/KMWindowManager.h"

#include "DaemonLog.h"

#include <GL/gl.h>
#include <dlfcn.h>
#include <unistd.h>

#include <wx/toplevel.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kNames[] = {
#define KP_ENTRY(name, params) #name,
#include "hosting/PluginEntryPoints.def"
#undef KP_ENTRY
};

constexpr int kBalance = 122;
constexpr int kConnectivity = 177;
constexpr int kLink = 123;

// A control or tool-bar button of the layout: its rectangle.
struct SRect {
    int top = 0, left = 0, bottom = 0, right = 0;
    int CenterX() const { return (left + right) / 2; }
    int CenterY() const { return (top + bottom) / 2; }
};

bool ParseRect(const std::string& text, SRect& r) {
    std::istringstream in(text);
    char comma = 0;
    return static_cast<bool>(in >> r.top >> comma >> r.left >> comma >> r.bottom >> comma >>
                             r.right);
}

// One control of the layout with the attributes the texts come from.
struct SControl {
    std::string cls, params, label, units, show, text;
    SRect rect;
    int Lead() const { return std::atoi(params.c_str()); }
};

// The layout resource of the module file.
struct SLayout {
    int width = 0, height = 0, collapsed = 0;
    std::vector<std::tuple<std::string, std::string, SRect>> controls; // class, params, rect
    std::vector<SControl> all;
    std::vector<std::pair<std::string, SRect>> buttons;
    std::set<short> images{1}; // the frame's icon, and those the controls name

    SRect Control(const std::string& cls, int param) const {
        for (const auto& [c, p, r] : controls)
            if (c == cls && p == std::to_string(param))
                return r;
        ADD_FAILURE() << "no " << cls << " for " << param;
        return {};
    }
    SRect Button(const std::string& name) const {
        for (const auto& [n, r] : buttons)
            if (n == name)
                return r;
        ADD_FAILURE() << "no button " << name;
        return {};
    }
};

SLayout ReadLayout(const fs::path& module) {
    // Read as data: the module's code never runs here.
    SLayout layout;
    KTResContainerType* container = nullptr;
    EXPECT_EQ(RMOpenResContainer(kvFM::KCStPath(module.string()), 0, container), eNoErr);
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    EXPECT_EQ(GetXMLResource(container, KCFourCC(KV_FOURCC("XGUI")), 1000, root, resource), 0);
    if (root) {
        long w = 0, h = 0, c = 0;
        root->GetAttrib("Width", w);
        root->GetAttrib("Height", h);
        root->GetAttrib("CollapsedHeight", c);
        layout.width = static_cast<int>(w);
        layout.height = static_cast<int>(h);
        layout.collapsed = static_cast<int>(c);
        for (const kvXML::CXMLElement* e : root->children) {
            std::string cls, params, rect, name;
            SRect r;
            if (std::string(e->name.c_str()) == "ToolBar") {
                for (const kvXML::CXMLElement* b : e->children)
                    if (b->GetAttrib("Name", name) && b->GetAttrib("Rect", rect) &&
                        ParseRect(rect, r))
                        layout.buttons.emplace_back(name, r);
            } else if (e->GetAttrib("Class", cls) && e->GetAttrib("Params", params) &&
                       e->GetAttrib("Rect", rect) && ParseRect(rect, r)) {
                layout.controls.emplace_back(cls, params, r);
                SControl c{cls, params, "", "", "", "", r};
                e->GetAttrib("Label", c.label);
                e->GetAttrib("Units", c.units);
                e->GetAttrib("Show", c.show);
                if (!e->GetAttrib("Title", c.text))
                    e->GetAttrib("Text", c.text);
                layout.all.push_back(c);
                std::string images;
                e->GetAttrib("Images", images);
                std::istringstream in(images);
                for (short n = 0; in >> n;) {
                    layout.images.insert(n);
                    in.ignore(1, ',');
                }
            }
        }
    }
    RMReleaseResource(resource);
    RMCloseResContainer(container);
    return layout;
}

// The editor view: the frame, its OpenGL child and the plug-in behind them.
class EditorView {
public:
    EditorView(SPluginEntryPoints& kp, PluginInstance& instance, const SLayout& layout)
        : kp_(kp), instance_(instance) {
        view_ = KURect<short>(0, 0, static_cast<short>(layout.height),
                              static_cast<short>(layout.width));
        KCWinCreateOpts frame;
        frame.kind = kWinKindPlain;
        frame.flags = 0x105;
        frame.title = "editor";
        frame.bounds = KURect<short>(20, 20, static_cast<short>(20 + layout.height),
                                     static_cast<short>(20 + layout.width));
        EXPECT_EQ(KMCreateWindow(frame, frame_), eNoErr);
        KCWinCreateOpts child;
        child.kind = kWinKindOpenGL;
        child.flags = 0x120;
        child.parent = &frame_;
        child.bounds = view_;
        child.handler = &EditorView::Handler;
        child.userData = this;
        EXPECT_EQ(KMCreateWindow(child, child_), eNoErr);
        // Shown as the host shows an editor.
        instance_.window = &child_;
        kp_.KP_SetWindow(&instance_);
        EXPECT_EQ(GMCreateRC(child_), eNoErr);
        kp_.KP_InitHatch(&instance_, &view_);
        kp_.KP_SetRefresh(&instance_, &view_);
        kp_.KP_ActivateWindow(&instance_);
        KMShowWindow(child_);
        KMShowWindow(frame_);
        auto* surface = static_cast<wxWindow*>(child_.deviceContext);
        display::PumpUntil([&] { return surface && surface->IsShownOnScreen(); });
        display::Pump(200);
        Draw();
    }
    ~EditorView() {
        kp_.KP_DeactivateWindow(&instance_);
        GMDisposeRC(child_);
        instance_.window = nullptr;
        kp_.KP_SetWindow(&instance_);
        KMDisposeWindow(child_);
        KMDisposeWindow(frame_);
        display::Pump(20);
    }

    // One idle tick of the host: the plug-in's idle and a full redraw.
    void Draw() {
        GMBind2RC(child_);
        kp_.KP_DoIdle(&instance_);
        GMSwapBuffers(child_);
    }
    // The left edge of a horizontal fader's thumb (the light part of its
    // middle row) as a full redraw draws it, from the fader's left; -1 when
    // none shows.
    int ThumbAt(const SRect& fader) {
        Idle(100);
        kp_.KP_SetRefresh(&instance_, &view_);
        GMBind2RC(child_);
        kp_.KP_DoIdle(&instance_);
        const int width = fader.right - fader.left;
        std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
        glReadBuffer(GL_BACK);
        // (Rows count from the drawing surface's lower edge.)
        const int height = Surface()->GetClientSize().GetHeight();
        glReadPixels(fader.left, height - 1 - fader.CenterY(), width, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                     row.data());
        GMSwapBuffers(child_);
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &row[static_cast<size_t>(x) * 4];
            if (p[0] > 200 && p[1] > 200 && p[2] > 200)
                return x;
        }
        return -1;
    }
    // Idles for about `ms` milliseconds.
    void Idle(int ms) {
        for (int t = 0; t < ms; t += 30) {
            Draw();
            display::Pump(30);
        }
    }
    void Click(int x, int y) {
        sim_.MouseMove(display::Screen(child_, x, y));
        Idle(60);
        sim_.MouseDown();
        Idle(60);
        sim_.MouseUp();
        Idle(90);
    }
    void Drag(int x, int y, int dx) {
        Press(x, y);
        for (int step = 1; step <= 4; ++step)
            MoveTo(x + dx * step / 4, y);
        Release();
    }
    void Press(int x, int y) {
        sim_.MouseMove(display::Screen(child_, x, y));
        Idle(60);
        sim_.MouseDown();
        Idle(60);
    }
    void MoveTo(int x, int y) {
        sim_.MouseMove(display::Screen(child_, x, y));
        Idle(40);
    }
    void Release() {
        sim_.MouseUp();
        Idle(90);
    }
    wxTopLevelWindow* Frame() const { return dynamic_cast<wxTopLevelWindow*>(frame_.windowHandle); }
    void HideFrame() {
        KMHideWindow(frame_);
        display::PumpUntil([&] { return !Surface()->IsShownOnScreen(); });
    }
    void ShowFrame() {
        KMShowWindow(frame_);
        display::PumpUntil([&] { return Surface()->IsShownOnScreen(); });
    }
    // Moves the frame's top-left corner to (x, y) on the screen.
    void MoveFrame(int x, int y) {
        Frame()->Move(x, y);
        display::PumpUntil([&] { return Frame()->GetPosition() == wxPoint(x, y); }, 2000);
    }
    wxWindow* Surface() const { return static_cast<wxWindow*>(child_.deviceContext); }
    double State(int param) {
        double v = -1;
        kp_.KP_GetParamState(&instance_, param, &v);
        return v;
    }

private:
    static bool Handler(void*, KEEventTypes event, KCEventData* data, void* user) {
        auto* self = static_cast<EditorView*>(user);
        switch (event) {
        case eMouseDown:
            self->kp_.KP_DoMouseDown(&self->instance_, data);
            break;
        case eMouseUp:
            self->kp_.KP_DoMouseUp(&self->instance_, data);
            break;
        case eMouseMove:
            self->kp_.KP_DoMouseMove(&self->instance_, data);
            break;
        default:
            break;
        }
        return false;
    }

    SPluginEntryPoints& kp_;
    PluginInstance& instance_;
    KURect<short> view_;
    KCWindow frame_;
    KCWindow child_;
    wxUIActionSimulator sim_;
};

// The last write of a command to the chip ("00 C9 .."), empty when none.
std::string LastWrite(const std::string& log, const std::string& prefix) {
    std::string last;
    for (const std::string& w : dulmtest::ChipWrites(log))
        if (w.compare(0, prefix.size(), prefix) == 0)
            last = w;
    return last;
}

// Every parameter the editor shows has a control, every image a control
// names is in the module, and every control and button lies in the view.
TEST(EditorLayout, CoversTheParametersAndNamesOnlyExistingImages) {
    RMInit(0);
    const SLayout layout = ReadLayout(DULM_MODULE_PATH);
    ASSERT_GT(layout.width, 0);
    EXPECT_EQ(layout.collapsed, 556);
    // Not on the editor: storage only, and the System Configuration's own.
    std::set<int> wanted;
    for (int i = 0; i < 200; ++i)
        if (i != 78 && i != 83 && i != 85 && i != 194 && i != 114 && i != 115 &&
            !(i >= 165 && i <= 176))
            wanted.insert(i);
    std::set<int> images;
    for (const auto& [cls, params, r] : layout.controls) {
        std::istringstream in(params);
        for (int p = 0; in >> p;) {
            wanted.erase(p);
            in.ignore(1, ',');
        }
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= layout.width &&
                    r.bottom <= layout.height && r.left < r.right && r.top < r.bottom)
            << cls << " " << params;
    }
    EXPECT_TRUE(wanted.empty()) << "no control for " << *wanted.begin();
    for (const auto& [name, r] : layout.buttons)
        EXPECT_TRUE(r.right <= layout.width && r.bottom <= layout.collapsed) << name;
    EXPECT_EQ(layout.Control("Popup", 86).right > 0, true); // rebuilt by that class name
    EXPECT_GT(layout.Control("Text", 198).right, 0);
    EXPECT_GT(layout.Button("Utilities").right, 0);
    // Each image number resolves to a PNG of the module, icon 1 included.
    KTResContainerType* container = nullptr;
    ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(DULM_MODULE_PATH), 0, container), eNoErr);
    for (short n : layout.images) {
        KTResourceType* resource = nullptr;
        EXPECT_EQ(RMGetAResource(container, KCFourCC(KV_FOURCC("PNG_")), n, resource, nullptr),
                  eNoErr)
            << n;
        void* data = nullptr;
        if (resource && RMGetResData(resource, data) == eNoErr && data) {
            EXPECT_EQ(std::memcmp(data, "\x89PNG", 4), 0) << n;
        }
        RMReleaseResource(resource);
    }
    RMCloseResContainer(container);
    RMDispose();
}

// The number of states each parameter's control steps through: a toggle
// scale's resolution, 1001 for continuous scales; none without a scale.
std::vector<int> StateCounts(const fs::path& module) {
    std::vector<int> counts;
    KTResContainerType* container = nullptr;
    EXPECT_EQ(RMOpenResContainer(kvFM::KCStPath(module.string()), 0, container), eNoErr);
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    EXPECT_EQ(GetXMLResource(container, KCFourCC(KV_FOURCC("XPRM")), 1000, root, resource), 0);
    auto child = [](const kvXML::CXMLElement& e, const char* name) -> const kvXML::CXMLElement* {
        for (const kvXML::CXMLElement* c : e.children)
            if (std::string(c->name.c_str()) == name)
                return c;
        return nullptr;
    };
    if (!root)
        return counts;
    for (const kvXML::CXMLElement* p : root->children) {
        const kvXML::CXMLElement* scale = child(*p, "Scale");
        const kvXML::CXMLElement* type = scale ? child(*scale, "ScaleType") : nullptr;
        const kvXML::CXMLElement* resolution = scale ? child(*scale, "Resolution") : nullptr;
        if (!type || !resolution)
            counts.push_back(0);
        else if (type->text == "toggle")
            counts.push_back(static_cast<int>(std::atof(resolution->text.c_str())));
        else if (type->text == "StereoScale")
            counts.push_back(3);
        else if (type->text == "LowFreqScale")
            counts.push_back(11);
        else
            counts.push_back(1001);
    }
    RMReleaseResource(resource);
    RMCloseResContainer(container);
    return counts;
}

// A text or control as drawn: what it is and where.
struct SInk {
    std::string what;
    SRect r;
    int owner; // the control it belongs to (-1: none)
    bool Overlaps(const SInk& o) const {
        return r.left < o.r.right && o.r.left < r.right && r.top < o.r.bottom && o.r.top < r.bottom;
    }
    bool Inside(const SRect& box) const {
        return r.left >= box.left && r.right <= box.right && r.top >= box.top &&
               r.bottom <= box.bottom;
    }
};

std::ostream& operator<<(std::ostream& out, const SInk& i) {
    return out << '"' << i.what << "\" at " << i.r.top << "," << i.r.left << "," << i.r.bottom
               << "," << i.r.right;
}

// Every text the editor draws, measured with the editor's font where the
// library draws it (a label: above its control, its lowest row 2 pixels
// over the control; a value, a menu's choice, a caption, a section's title
// or a button's name: centred in its box), at the widest value each control
// can show: no text overlaps another text or a control that is not its own,
// none runs out of its box, and nothing straddles the collapsed editor's
// lower edge. Every parameter's value text is read from the plug-in itself.
// The module as a host loads it, its instance with an editor that has no
// window: the words and values it shows.
class HeadlessEditor : public ::testing::Test {
protected:
    void SetUp() override {
        RMInit(0);
        layout = ReadLayout(DULM_MODULE_PATH);
        registry_ = fs::temp_directory_path() / ("dulm_layout_test." + std::to_string(::getpid()));
        fs::create_directories(registry_);
        ::setenv("QUORL_REGISTRY_DIR", registry_.c_str(), 1);
        module_ = ::dlopen(DULM_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << ::dlerror();
        void** slots = reinterpret_cast<void**>(&kp);
        for (size_t i = 0; i < kPluginEntryPointCount; ++i)
            ASSERT_NE(slots[i] = ::dlsym(module_, kNames[i]), nullptr);
        instance.module = static_cast<KTNativeContainerType*>(module_);
        instance.componentInfo.componentSubType = KCFourCC(KV_FOURCC("PQ5S"));
        ASSERT_EQ(kp.KP_CreateInstance(&instance), 0);
        // The editor answers for the values it shows in a form of its own.
        ASSERT_EQ(kp.KP_CreateGUI(&instance), 0);
        ASSERT_EQ(kp.KP_InitGUI(&instance), 0);
    }
    void TearDown() override {
        if (instance.algorithm) {
            EXPECT_EQ(kp.KP_DeleteInstance(&instance), 0);
        }
        if (module_)
            ::dlclose(module_);
        ::unsetenv("QUORL_REGISTRY_DIR");
        fs::remove_all(registry_);
        RMDispose();
    }
    // The text the editor shows for a state of a parameter.
    std::string ValueText(int param, double state) {
        char text[256] = {};
        kp.KP_TranslateController(&instance, param, state, text, sizeof text);
        return std::string(text);
    }

    SLayout layout;
    SPluginEntryPoints kp;
    PluginInstance instance;

private:
    fs::path registry_;
    void* module_ = nullptr;
};

TEST_F(HeadlessEditor, NoTextOverlapsAnotherOrAControlAndNoneIsCut) {
    REQUIRE_DISPLAY();
    const std::vector<int> states = StateCounts(DULM_MODULE_PATH);
    ASSERT_EQ(states.size(), 200u);
    auto valueText = [&](int param, double state) { return ValueText(param, state); };

    KCFontInfo font; // the library's drawing font
    auto measure = [&](const std::string& text) {
        KCPoint<short> size;
        GMGetTextWidthInPixels(font, text.c_str(), size);
        return size;
    };
    const int line = measure(" ").y;
    ASSERT_GT(line, 8);
    auto inBox = [&](const std::string& text, const SRect& box, int inset, int owner) {
        const int top = box.top + (box.bottom - box.top - line) / 2;
        return SInk{text,
                    SRect{top, box.left + inset, top + line, box.left + inset + measure(text).x},
                    owner};
    };

    std::vector<SInk> texts, controls;
    std::vector<std::pair<SInk, SRect>> boxed; // a text and the box it must stay in
    for (size_t k = 0; k < layout.all.size(); ++k) {
        const SControl& c = layout.all[k];
        const int owner = static_cast<int>(k);
        if (c.cls == "Section") {
            const SRect bar{c.rect.top, c.rect.left, c.rect.top + 20, c.rect.right};
            boxed.emplace_back(inBox(c.text, bar, 6, -1), bar);
            continue;
        }
        if (c.cls == "Caption") {
            boxed.emplace_back(inBox(c.text, c.rect, 0, -1), c.rect);
            continue;
        }
        if (!c.label.empty()) {
            const int top = c.rect.top - 2 - line;
            texts.push_back(
                SInk{c.label, SRect{top, c.rect.left, top + line, c.rect.left + measure(c.label).x},
                     -1});
        }
        // The widest text the control can show.
        std::string widest;
        const int param = c.Lead();
        const int count = param >= 0 && param < 200 ? std::max(states[param], 1) : 1;
        if (c.cls == "Text" || c.cls == "Popup")
            for (int s = 0; s < (param == 86 ? 5 : count); ++s) {
                std::string text = c.show == "Label" ? "POP File" : valueText(param, s);
                if (!text.empty() && !c.units.empty())
                    text += " " + c.units;
                if (measure(text).x > measure(widest).x)
                    widest = text;
            }
        if (c.cls == "Text") {
            boxed.emplace_back(inBox(widest, c.rect, 0, owner), c.rect);
            continue; // a value text's box is only its text
        }
        if (c.cls == "Popup")
            boxed.emplace_back(inBox(widest, c.rect, 3, owner), c.rect);
        controls.push_back(SInk{c.cls + " " + c.params, c.rect, owner});
    }
    for (const auto& [name, r] : layout.buttons) {
        boxed.emplace_back(inBox(name, r, 3, -2), r);
        controls.push_back(SInk{"button " + name, r, -2});
    }
    for (const auto& [text, box] : boxed) {
        EXPECT_TRUE(text.Inside(box)) << text << " runs out of its box";
        texts.push_back(text);
    }

    for (size_t i = 0; i < texts.size(); ++i) {
        for (size_t j = i + 1; j < texts.size(); ++j)
            EXPECT_FALSE(texts[i].Overlaps(texts[j])) << texts[i] << " overlaps " << texts[j];
        for (const SInk& c : controls)
            if (c.owner != texts[i].owner || c.owner == -1) {
                EXPECT_FALSE(texts[i].Overlaps(c)) << texts[i] << " overlaps " << c;
            }
    }
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j)
            if (controls[i].what.rfind("Graph", 0) != 0 ||
                controls[j].what.rfind("Graph", 0) != 0) {
                EXPECT_FALSE(controls[i].Overlaps(controls[j]))
                    << controls[i] << " overlaps " << controls[j];
            }
    std::vector<SInk> everything = texts;
    everything.insert(everything.end(), controls.begin(), controls.end());
    for (const SControl& c : layout.all)
        if (c.cls == "Section")
            everything.push_back(SInk{"section " + c.text, c.rect, -1});
    for (const SInk& i : everything) {
        EXPECT_TRUE(i.Inside(SRect{0, 0, layout.height, layout.width})) << i << " leaves the view";
        EXPECT_FALSE(i.r.top < layout.collapsed && i.r.bottom > layout.collapsed)
            << i << " is cut by the collapsed editor's edge";
    }
}

// Each switch says what it does when lit: an enable switch (its value
// non-zero: the block is in) is named "... on", the master bypass
// "Bypass all". Values show what they are: the output gains as steps of
// 0 to 128, the balance by its side, the ratio as n:1, the stereo low
// frequency as the chip's setting (no level), frequencies as whole hertz,
// a value at zero without a sign.
TEST_F(HeadlessEditor, SwitchesAndValuesSayWhatTheyDo) {
    auto label = [&](const char* cls, int param) {
        for (const SControl& c : layout.all)
            if (c.cls == cls && c.Lead() == param)
                return c.label;
        ADD_FAILURE() << "no " << cls << " for " << param;
        return std::string();
    };
    const std::pair<int, const char*> switches[] = {
        {125, "PEQ on"},    {126, "Bass on"},   {127, "Treble on"}, {128, "Stereo on"},
        {129, "Volume on"}, {154, "Dialog on"}, {90, "Bypass all"},
    };
    for (const auto& [param, name] : switches) {
        EXPECT_EQ(label("Toggle", param), name) << param;
        // Lit is state 1, the value 1: an enable's block is in.
        EXPECT_EQ(ValueText(param, 1), "In") << param;
    }

    auto units = [&](int param) {
        for (const SControl& c : layout.all)
            if (c.cls == "Text" && c.Lead() == param)
                return c.units;
        return std::string("(none)");
    };
    struct Case {
        int param;
        double state;
        const char* text;
        const char* units;
    } cases[] = {
        {75, 500, "64", "of 128"}, {76, 1000, "128", "of 128"}, {122, 500, "Centre", ""},
        {122, 0, "L 45", ""},      {122, 1000, "R 45", ""},     {181, 0, "1:1", ""},
        {181, 1000, "10:1", ""},   {92, 0, "0", "(none)"}, // a menu
        {92, 10, "10", "(none)"},  {111, 1000, "20000", "Hz"},  {112, 0, "20", "Hz"},
        {113, 0, "20", "Hz"},      {2, 504, "0.0", "dB"}, // a hair below zero
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValueText(c.param, c.state), c.text) << c.param << " at " << c.state;
        EXPECT_EQ(units(c.param), c.units) << c.param;
    }
}

// The module copied into a folder of its own (with a POP file and an empty
// command list), loaded as the host loads it, against a u2c-sim daemon; the
// instance made up to its editor.
class EditorSession : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        dir_ = fs::temp_directory_path() / ("dulm_editor_test." + std::to_string(::getpid()));
        const fs::path mod = dir_ / "module";
        fs::create_directories(mod);
        fs::create_directories(dir_ / "registry");
        for (const auto& entry : fs::directory_iterator(fs::path(DULM_MODULE_PATH).parent_path()))
            fs::copy_file(entry.path(), mod / entry.path().filename());
        std::ofstream(mod / "DL6000_5.05.pop", std::ios::binary) << "00 A5 00\r\n";
        std::ofstream(mod / "Commander.xml") << "<Commander/>\n";

        daemon_ = std::make_unique<u2csim::SimDaemon>(U2C_SIM_PATH);
        ASSERT_TRUE(daemon_->ready());
        ::setenv("TEROVAN_U2C_SOCKET", daemon_->socketPath().c_str(), 1);
        ::setenv("QUORL_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
        RMInit(0);
        layout = ReadLayout(mod / "DulmAudioDSP.so");
        ASSERT_GT(layout.width, 0);

        module_ = ::dlopen((mod / "DulmAudioDSP.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << ::dlerror();
        void** slots = reinterpret_cast<void**>(&kp);
        for (size_t i = 0; i < kPluginEntryPointCount; ++i)
            ASSERT_NE(slots[i] = ::dlsym(module_, kNames[i]), nullptr);
        instance = std::make_unique<PluginInstance>();
        instance->module = static_cast<KTNativeContainerType*>(module_);
        instance->componentInfo.componentSubType = KCFourCC(KV_FOURCC("PQ5S"));
        ASSERT_EQ(kp.KP_CreateInstance(instance.get()), 0);
        ASSERT_EQ(kp.KP_InitAlgToHardware(instance.get(), nullptr, 0, 48000), 0);
        ASSERT_EQ(kp.KP_CreateGUI(instance.get()), 0);
        ASSERT_EQ(kp.KP_InitGUI(instance.get()), 0);
    }
    void TearDown() override {
        if (!display::Ready())
            return;
        if (instance && instance->algorithm) {
            EXPECT_EQ(kp.KP_DeleteInstance(instance.get()), 0);
        }
        instance.reset();
        // The closed windows (with the library's handlers) go before the library.
        KMDeleteDisposedWindows();
        if (module_)
            ::dlclose(module_);
        if (daemon_) {
            EXPECT_EQ(daemon_->stop(), 0);
        }
        ::unsetenv("TEROVAN_U2C_SOCKET");
        ::unsetenv("QUORL_REGISTRY_DIR");
        RMDispose();
        fs::remove_all(dir_);
    }
    std::string Log() const { return daemon_->logPath(); }
    // Connectivity on through its switch; the idle check finds the board.
    // (A busy machine may map the window late: the click is tried again.)
    void Connect(EditorView& editor) {
        const SRect link = layout.Control("Toggle", kConnectivity);
        for (int tries = 0; tries < 5 && editor.State(kConnectivity) != 1.0; ++tries)
            editor.Click(link.CenterX(), link.CenterY());
        ASSERT_EQ(editor.State(kConnectivity), 1.0);
        for (int waited = 0; waited < 10000 && editor.State(kLink) != 1.0; waited += 100)
            editor.Idle(100);
        ASSERT_EQ(editor.State(kLink), 1.0);
    }

    SLayout layout;
    SPluginEntryPoints kp;
    std::unique_ptr<PluginInstance> instance;

private:
    fs::path dir_;
    std::unique_ptr<u2csim::SimDaemon> daemon_;
    void* module_ = nullptr;
};

TEST_F(EditorSession, DragUndoRedoReachTheBoardAndTheFrameIsSetUp) {
    KURect<short> view;
    kp.KP_GetViewRect(instance.get(), &view);
    {
        EditorView editor(kp, *instance, layout);
        EXPECT_EQ(view, KURect<short>(0, 0, static_cast<short>(layout.height),
                                      static_cast<short>(layout.width)));
        ASSERT_NE(editor.Frame(), nullptr);
        EXPECT_EQ(editor.Frame()->GetTitle().utf8_string(), "Quorl Audio DulmDSP");
        EXPECT_FALSE(editor.Frame()->GetIcons().IsEmpty());

        // Before any connection (the window set up, no chip found yet) every
        // value and every menu shows a text: bands 8-10 and the sub-woofer
        // bands' types included.
        for (const SControl& c : layout.all)
            if ((c.cls == "Text" && c.show.empty()) || c.cls == "Popup") {
                char text[256] = {};
                kp.KP_TranslateController(instance.get(), c.Lead(), editor.State(c.Lead()), text,
                                          sizeof text);
                EXPECT_STRNE(text, "") << c.cls << " " << c.params;
            }

        Connect(editor);

        // The Balance fader dragged far past its right end stops at 240.
        const SRect balance = layout.Control("Slider", kBalance);
        EXPECT_EQ(editor.State(kBalance), 500.0);
        editor.Drag(balance.CenterX(), balance.CenterY(), 3 * (balance.right - balance.left));
        EXPECT_EQ(editor.State(kBalance), 1000.0);
        EXPECT_EQ(LastWrite(Log(), "00 C9"), "00 C9 00");

        const SRect undo = layout.Button("Undo");
        editor.Click(undo.CenterX(), undo.CenterY());
        EXPECT_EQ(editor.State(kBalance), 500.0);
        EXPECT_EQ(LastWrite(Log(), "00 C9"), "00 C9 78");
        const SRect redo = layout.Button("Redo");
        editor.Click(redo.CenterX(), redo.CenterY());
        EXPECT_EQ(editor.State(kBalance), 1000.0);
        EXPECT_EQ(LastWrite(Log(), "00 C9"), "00 C9 00");
        // The release sends the value shown once more: the board holds it
        // whatever a drag step could not deliver.
        auto balanceWrites = [&] {
            const auto writes = dulmtest::ChipWrites(Log());
            return std::count_if(writes.begin(), writes.end(),
                                 [](const std::string& w) { return w.rfind("00 C9", 0) == 0; });
        };
        editor.Press(balance.CenterX(), balance.CenterY());
        editor.MoveTo(balance.left, balance.CenterY());
        // (A busy machine may deliver the move late.)
        for (int waited = 0; waited < 3000 && LastWrite(Log(), "00 C9") == "00 C9 00";
             waited += 100)
            editor.Idle(100);
        const std::string shown = LastWrite(Log(), "00 C9");
        ASSERT_NE(shown, "00 C9 00");
        const auto moved = balanceWrites();
        editor.Release();
        for (int waited = 0; waited < 3000 && balanceWrites() == moved; waited += 100)
            editor.Idle(100);
        EXPECT_EQ(balanceWrites(), moved + 1);
        EXPECT_EQ(LastWrite(Log(), "00 C9"), shown);
    }
}

// A fader's thumb sits at the place of its value: the Q of left band 1 and
// of sub-woofer band 1 (both shelves, both limited to 1.41 whatever the Q
// scale a shelf gets) sit at one place; a band of the type "Shape 4" has no
// Q: its fader shows no thumb and takes no drag.
TEST_F(EditorSession, FadersSitAtTheirValuesAndAQWithoutEffectIsDisabled) {
    EditorView editor(kp, *instance, layout);
    // The whole editor ("Collapse" off): the sub-woofer bands lie below.
    kp.KP_UpdatePar(instance.get(), 124, 0, nullptr);
    editor.Idle(300);
    const SRect left = layout.Control("Slider", 4), sub = layout.Control("Slider", 188);
    char leftText[64] = {}, subText[64] = {};
    kp.KP_TranslateController(instance.get(), 4, editor.State(4), leftText, sizeof leftText);
    kp.KP_TranslateController(instance.get(), 188, editor.State(188), subText, sizeof subText);
    ASSERT_STREQ(leftText, "1.41");
    ASSERT_STREQ(subText, "1.41");
    const int leftThumb = editor.ThumbAt(left), subThumb = editor.ThumbAt(sub);
    ASSERT_GE(leftThumb, 0);
    EXPECT_NEAR(subThumb, leftThumb, 1);

    // Band 2 becomes "Shape 4".
    constexpr int kBand2Type = 6, kBand2Q = 9;
    kp.KP_UpdatePar(instance.get(), kBand2Type, 3, nullptr);
    editor.Idle(200);
    char qText[64] = {'x'};
    kp.KP_TranslateController(instance.get(), kBand2Q, editor.State(kBand2Q), qText, sizeof qText);
    EXPECT_STREQ(qText, "");
    const SRect q = layout.Control("Slider", kBand2Q);
    EXPECT_EQ(editor.ThumbAt(q), -1);
    const double before = editor.State(kBand2Q);
    editor.Drag(q.CenterX(), q.CenterY(), q.right - q.left);
    EXPECT_EQ(editor.State(kBand2Q), before);
}

// The once-a-second check of the chip ({00 B7 14}, "14 B7 00" on the bus)
// runs only while some of the editor can be seen: not while its frame is
// hidden, nor while the frame lies off the screen; it resumes once the
// editor is back in view.
TEST_F(EditorSession, TheDeviceCheckRunsOnlyWhileTheEditorCanBeSeen) {
    EditorView editor(kp, *instance, layout);
    Connect(editor);
    auto checks = [&] {
        const auto writes = dulmtest::ChipWrites(Log());
        return std::count(writes.begin(), writes.end(), std::string("14 B7 00"));
    };
    for (bool hide : {true, false}) {
        SCOPED_TRACE(hide ? "hidden" : "off the screen");
        if (hide)
            editor.HideFrame();
        else
            editor.MoveFrame(-3000, -3000);
        editor.Idle(300);
        const auto before = checks();
        editor.Idle(2500);
        EXPECT_EQ(checks(), before);
        if (hide)
            editor.ShowFrame();
        else
            editor.MoveFrame(20, 20);
        for (int waited = 0; waited < 5000 && checks() == before; waited += 100)
            editor.Idle(100);
        EXPECT_GT(checks(), before);
    }
}

} // namespace
