#include "confdlg/DialogWindow.h"

#include <SDL.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "confdlg/SelectionStore.h"
#include "confdlg/SignalCancel.h"

namespace trivale {
namespace confdlg {

namespace {

struct Controls {
    const CONFIG_INFO* info;
    ConfigDisplayLookup displays;
    GtkWidget* adapter;
    GtkWidget* mode;
    GtkWidget* multiSample;
    GtkWidget* anisotropy;
    GtkWidget* windowed;
    GtkWidget* depth;
    GtkWidget* vsync;
    // The values behind the rows of the combo boxes that are filled per adapter or mode.
    std::vector<int> modeIndices;
    std::vector<int> multiSampleValues;
    std::vector<int> anisotropyValues;
};

uint32_t Clamp(uint32_t count, uint32_t limit) { return count < limit ? count : limit; }

const CONFIG_ADAPTER_INFO& CurrentAdapter(const Controls& c) {
    int index = gtk_combo_box_get_active(GTK_COMBO_BOX(c.adapter));
    if (index < 0) index = 0;
    return c.info->adapters[index];
}

void SelectValue(GtkWidget* combo, const std::vector<int>& values, int wanted) {
    int row = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] <= wanted) row = static_cast<int>(i);
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), values.empty() ? -1 : row);
}

int ChosenValue(GtkWidget* combo, const std::vector<int>& values) {
    int row = gtk_combo_box_get_active(GTK_COMBO_BOX(combo));
    return row >= 0 && static_cast<size_t>(row) < values.size() ? values[row] : 0;
}

int ChosenMode(const Controls& c) {
    int row = gtk_combo_box_get_active(GTK_COMBO_BOX(c.mode));
    return row >= 0 && static_cast<size_t>(row) < c.modeIndices.size() ? c.modeIndices[row] : -1;
}

// The display of an adapter of the record: the program's numbering, since a skipped adapter shifts
// the record's indices against the displays.
int DisplayOf(ConfigDisplayLookup displays, int adapter) {
    if (adapter < 0) return -1;
    return displays != nullptr ? displays(static_cast<uint32_t>(adapter)) : adapter;
}

// The sizes the display of an adapter really has, as the program's graphics layer sees them (the
// program has its video subsystem running while it asks). Empty when it names none.
std::vector<std::pair<uint32_t, uint32_t>> DisplaySizes(int display) {
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    if (display < 0 || SDL_WasInit(SDL_INIT_VIDEO) == 0) return sizes;
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(display, i, &m) == 0 && m.w > 0 && m.h > 0) {
            sizes.emplace_back(static_cast<uint32_t>(m.w), static_cast<uint32_t>(m.h));
        }
    }
    return sizes;
}

// The desktop's size, as the program's graphics layer sees it; 0 x 0 when unknown.
std::pair<uint32_t, uint32_t> DesktopSize(int display) {
    SDL_DisplayMode desktop;
    if (display < 0 || SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GetDesktopDisplayMode(display, &desktop) != 0 ||
        desktop.w <= 0 || desktop.h <= 0) {
        return {0, 0};
    }
    return {static_cast<uint32_t>(desktop.w), static_cast<uint32_t>(desktop.h)};
}

}  // namespace

DesktopSizes CurrentDesktops(const CONFIG_INFO& info, ConfigDisplayLookup displays) {
    DesktopSizes desktops;
    const uint32_t count = Clamp(info.adapterCount, kConfigMaxAdapters);
    for (uint32_t a = 0; a < count; ++a) desktops.push_back(DesktopSize(DisplayOf(displays, static_cast<int>(a))));
    return desktops;
}

namespace {

// Full screen lists the modes of the sizes the display has; a window each size that fits, once. The
// wanted mode stays chosen when it is on offer, otherwise the offered mode nearest to it in area.
void FillModes(Controls& c, int wantedMode) {
    const CONFIG_ADAPTER_INFO& adapter = CurrentAdapter(c);
    const bool windowed = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c.windowed));
    const int display = DisplayOf(c.displays, gtk_combo_box_get_active(GTK_COMBO_BOX(c.adapter)));
    const auto sizes = windowed ? std::vector<std::pair<uint32_t, uint32_t>>() : DisplaySizes(display);
    const auto desktop = windowed ? DesktopSize(display) : std::pair<uint32_t, uint32_t>(0, 0);
    GtkComboBoxText* modes = GTK_COMBO_BOX_TEXT(c.mode);
    gtk_combo_box_text_remove_all(modes);
    c.modeIndices = OfferedModes(adapter, sizes, windowed, desktop.first, desktop.second);
    const uint32_t count = Clamp(adapter.modeCount, kConfigMaxModes);
    const auto area = [&](int i) { return double(adapter.modes[i].width) * adapter.modes[i].height; };
    const bool wantedKnown = wantedMode >= 0 && static_cast<uint32_t>(wantedMode) < count;
    int row = -1;
    double nearest = 0;
    for (std::size_t r = 0; r < c.modeIndices.size(); ++r) {
        const int i = c.modeIndices[r];
        const CONFIG_DISPLAY_MODE& m = adapter.modes[i];
        std::string text = std::to_string(m.width) + " x " + std::to_string(m.height);
        if (!windowed) {
            text += ", " + std::to_string(m.bitsPerPixel) + " bpp";
            if (m.refreshRate != 0) text += ", " + std::to_string(m.refreshRate) + " Hz";
        }
        gtk_combo_box_text_append_text(modes, text.c_str());
        // Of equally near rows the wanted mode itself, else the first.
        const double distance = wantedKnown ? std::abs(area(i) - area(wantedMode)) : 0;
        if (row < 0 || distance < nearest || (i == wantedMode && distance <= nearest)) {
            row = static_cast<int>(r);
            nearest = distance;
        }
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(c.mode), row);
}

void FillMultiSample(Controls& c, int wanted) {
    GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(c.multiSample);
    gtk_combo_box_text_remove_all(combo);
    c.multiSampleValues.assign(1, 0);
    gtk_combo_box_text_append_text(combo, "None");
    const CONFIG_ADAPTER_INFO& adapter = CurrentAdapter(c);
    const int mode = ChosenMode(c);
    if (mode >= 0 && static_cast<uint32_t>(mode) < Clamp(adapter.modeCount, kConfigMaxModes)) {
        for (int samples = 2; samples < kConfigMultiSampleSlots; ++samples) {
            if (!MultiSampleUsable(adapter, adapter.modes[mode], samples)) continue;
            std::string text = std::to_string(samples) + " samples";
            gtk_combo_box_text_append_text(combo, text.c_str());
            c.multiSampleValues.push_back(samples);
        }
    }
    SelectValue(c.multiSample, c.multiSampleValues, wanted);
}

void FillAdapterDependent(Controls& c, int wantedMode, int wantedAnisotropy) {
    const CONFIG_ADAPTER_INFO& adapter = CurrentAdapter(c);
    FillModes(c, wantedMode);

    GtkComboBoxText* aniso = GTK_COMBO_BOX_TEXT(c.anisotropy);
    gtk_combo_box_text_remove_all(aniso);
    c.anisotropyValues.assign(1, 0);
    gtk_combo_box_text_append_text(aniso, "Off");
    for (uint32_t level = 2; level <= adapter.maxAnisotropy && level <= 1024; level *= 2) {
        std::string text = std::to_string(level) + "x";
        gtk_combo_box_text_append_text(aniso, text.c_str());
        c.anisotropyValues.push_back(static_cast<int>(level));
    }
    SelectValue(c.anisotropy, c.anisotropyValues, wantedAnisotropy);
}

void OnAdapterChanged(GtkComboBox*, gpointer data) {
    Controls& c = *static_cast<Controls*>(data);
    FillAdapterDependent(c, 0, ChosenValue(c.anisotropy, c.anisotropyValues));
}

void OnWindowedToggled(GtkToggleButton*, gpointer data) {
    Controls& c = *static_cast<Controls*>(data);
    FillModes(c, ChosenMode(c));
}

void OnModeChanged(GtkComboBox*, gpointer data) {
    Controls& c = *static_cast<Controls*>(data);
    FillMultiSample(c, ChosenValue(c.multiSample, c.multiSampleValues));
}

void FreePixels(guchar* pixels, gpointer) { g_free(pixels); }

GdkPixbuf* ImageToPixbuf(ConfigImageLookup images, uint32_t id) {
    if (images == nullptr || id == 0) return nullptr;
    CONFIG_IMAGE image = {0, 0, nullptr};
    if (images(id, &image) == 0 || image.pixels == nullptr || image.width <= 0 || image.height <= 0 ||
        image.width > 8192 || image.height > 8192) {
        return nullptr;
    }
    size_t count = static_cast<size_t>(image.width) * image.height;
    guchar* rgb = static_cast<guchar*>(g_malloc(count * 3));
    for (size_t i = 0; i < count; ++i) {
        uint32_t p = image.pixels[i];
        rgb[i * 3 + 0] = static_cast<guchar>(p >> 16);
        rgb[i * 3 + 1] = static_cast<guchar>(p >> 8);
        rgb[i * 3 + 2] = static_cast<guchar>(p);
    }
    return gdk_pixbuf_new_from_data(rgb, GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height, image.width * 3,
                                    FreePixels, nullptr);
}

GtkWidget* AddRow(GtkWidget* grid, int row, const char* mnemonic, GtkWidget* control) {
    GtkWidget* label = gtk_label_new_with_mnemonic(mnemonic);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), control);
    gtk_widget_set_halign(label, GTK_ALIGN_END);
    gtk_grid_attach(GTK_GRID(grid), label, 0, row, 1, 1);
    gtk_widget_set_hexpand(control, TRUE);
    gtk_grid_attach(GTK_GRID(grid), control, 1, row, 1, 1);
    return control;
}

// Enter accepts wherever the focus is; the combo boxes would otherwise take it to open their lists
// (space and Alt+Down still do). An open list is a window of its own and keeps its Enter.
gboolean OnKeyPress(GtkWidget* dialog, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter && event->keyval != GDK_KEY_ISO_Enter) {
        return FALSE;
    }
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    return TRUE;
}

bool GtkReady() {
    static int state = -1;
    if (state < 0) {
        // The host program parses numbers itself: GTK must not switch the process locale under it.
        gtk_disable_setlocale();
        state = gtk_init_check(nullptr, nullptr) ? 1 : 0;
    }
    return state == 1;
}

void FlushEvents() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

}  // namespace

DialogResult RunDialog(const CONFIG_INFO& info, ConfigImageLookup images, ConfigDisplayLookup displays,
                       ConfigStopQuery stop, CONFIG_SELECTION& selection) {
    if (stop != nullptr && stop() != 0) return DialogResult::Cancelled;
    if (!GtkReady()) return DialogResult::NoDisplay;

    std::string title(info.title, strnlen(info.title, sizeof(info.title)));
    if (title.empty()) title = "Display settings";
    GtkWidget* dialog = gtk_dialog_new_with_buttons(title.c_str(), nullptr, GTK_DIALOG_MODAL, "_Cancel",
                                                    GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    if (GdkPixbuf* icon = ImageToPixbuf(images, info.icon)) {
        gtk_window_set_icon(GTK_WINDOW(dialog), icon);
        g_object_unref(icon);
    }

    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    if (GdkPixbuf* banner = ImageToPixbuf(images, info.banner)) {
        GtkWidget* image = gtk_image_new_from_pixbuf(banner);
        g_object_unref(banner);
        gtk_box_pack_start(GTK_BOX(content), image, FALSE, FALSE, 0);
    }

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 12);
    gtk_box_pack_start(GTK_BOX(content), grid, TRUE, TRUE, 0);

    Controls c;
    c.info = &info;
    c.displays = displays;
    c.adapter = AddRow(grid, 0, "_Adapter:", gtk_combo_box_text_new());
    c.mode = AddRow(grid, 1, "Display _mode:", gtk_combo_box_text_new());
    c.multiSample = AddRow(grid, 2, "Multi_sampling:", gtk_combo_box_text_new());
    c.anisotropy = AddRow(grid, 3, "A_nisotropic filtering:", gtk_combo_box_text_new());
    c.depth = AddRow(grid, 4, "_Depth buffer:", gtk_combo_box_text_new());
    c.windowed = gtk_check_button_new_with_mnemonic("Run in a _window");
    gtk_grid_attach(GTK_GRID(grid), c.windowed, 1, 5, 1, 1);
    c.vsync = gtk_check_button_new_with_mnemonic("_Vertical sync");
    gtk_grid_attach(GTK_GRID(grid), c.vsync, 1, 6, 1, 1);

    uint32_t adapterCount = Clamp(info.adapterCount, kConfigMaxAdapters);
    for (uint32_t i = 0; i < adapterCount; ++i) {
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(c.adapter), AdapterName(info.adapters[i]).c_str());
    }
    const int depths[] = {16, 24, 32};
    std::vector<int> depthValues(depths, depths + 3);
    for (int bits : depths) {
        std::string text = std::to_string(bits) + " bits";
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(c.depth), text.c_str());
    }

    gtk_combo_box_set_active(GTK_COMBO_BOX(c.adapter), adapterCount > 0 ? selection.adapter : -1);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c.windowed), selection.windowed != 0);
    FillAdapterDependent(c, selection.mode, selection.anisotropy);
    FillMultiSample(c, selection.multiSample);
    SelectValue(c.depth, depthValues, selection.depthBits);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c.vsync), selection.vsync != 0);
    g_signal_connect(c.adapter, "changed", G_CALLBACK(OnAdapterChanged), &c);
    g_signal_connect(c.mode, "changed", G_CALLBACK(OnModeChanged), &c);
    g_signal_connect(c.windowed, "toggled", G_CALLBACK(OnWindowedToggled), &c);

    // Enter anywhere accepts, Escape and the close button cancel.
    g_signal_connect(dialog, "key-press-event", G_CALLBACK(OnKeyPress), nullptr);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(c.adapter);
    gint response = GTK_RESPONSE_CANCEL;
    {
        const SignalCancel signals([dialog] { gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL); }, stop);
        response = gtk_dialog_run(GTK_DIALOG(dialog));
    }

    DialogResult result = DialogResult::Cancelled;
    if (response == GTK_RESPONSE_OK && adapterCount > 0) {
        selection.adapter = gtk_combo_box_get_active(GTK_COMBO_BOX(c.adapter));
        selection.mode = ChosenMode(c);
        selection.multiSample = ChosenValue(c.multiSample, c.multiSampleValues);
        selection.anisotropy = ChosenValue(c.anisotropy, c.anisotropyValues);
        selection.windowed = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c.windowed)) ? 1 : 0;
        selection.depthBits = ChosenValue(c.depth, depthValues);
        selection.vsync = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c.vsync)) ? 1 : 0;
        result = DialogResult::Accepted;
    }
    gtk_widget_destroy(dialog);
    FlushEvents();  // let the window actually leave the screen before the program opens its own
    return result;
}

}  // namespace confdlg
}  // namespace trivale
