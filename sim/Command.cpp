// The names of the decoded commands and their readable trace form.
#include "sim/Command.h"

namespace QVO::Sim {

const char* OpName(Op op) {
    switch (op) {
        case Op::Truncated:
            return "truncated";
        case Op::Unknown:
            return "unknown";
        case Op::Oversized:
            return "oversized";
        case Op::Text:
            return "text";
        case Op::HorizontalTab:
            return "tab";
        case Op::LineFeed:
            return "line_feed";
        case Op::FormFeed:
            return "form_feed";
        case Op::CarriageReturn:
            return "carriage_return";
        case Op::Cancel:
            return "cancel";
        case Op::Nul:
            return "nul";
        case Op::Control:
            return "control";
        case Op::PrintPage:
            return "print_page";
        case Op::CharSpacing:
            return "char_spacing";
        case Op::PrintModes:
            return "print_modes";
        case Op::AbsolutePosition:
            return "abs_position";
        case Op::UserChars:
            return "user_chars";
        case Op::Underline:
            return "underline";
        case Op::DefaultLineSpacing:
            return "default_spacing";
        case Op::LineSpacing:
            return "line_spacing";
        case Op::SelectPeripheral:
            return "select_peripheral";
        case Op::CancelUserChar:
            return "cancel_user_char";
        case Op::Initialize:
            return "initialize";
        case Op::Emphasis:
            return "emphasis";
        case Op::DoubleStrike:
            return "double_strike";
        case Op::FeedUnits:
            return "feed_units";
        case Op::PageMode:
            return "page_mode";
        case Op::Font:
            return "font";
        case Op::InternationalSet:
            return "intl_set";
        case Op::StandardMode:
            return "standard_mode";
        case Op::PageDirection:
            return "page_direction";
        case Op::Rotate90:
            return "rotate90";
        case Op::PageArea:
            return "page_area";
        case Op::RelativePosition:
            return "rel_position";
        case Op::Justify:
            return "justify";
        case Op::PanelSensors:
            return "panel_sensors";
        case Op::FeedLines:
            return "feed_lines";
        case Op::CutFullLegacy:
            return "cut_full_legacy";
        case Op::CutPartialLegacy:
            return "cut_partial_legacy";
        case Op::Pulse:
            return "pulse";
        case Op::Color:
            return "color";
        case Op::CodeTable:
            return "code_table";
        case Op::UpsideDown:
            return "upside_down";
        case Op::BitImage:
            return "bit_image";
        case Op::TabStops:
            return "tabs";
        case Op::Buzzer:
            return "buzzer";
        case Op::Extended:
            return "extended";
        case Op::CharSize:
            return "char_size";
        case Op::AbsoluteVerticalPosition:
            return "abs_vposition";
        case Op::PrintDownloaded:
            return "print_downloaded";
        case Op::Macro:
            return "macro";
        case Op::Reverse:
            return "reverse";
        case Op::PrintDensity:
            return "print_density";
        case Op::HriPosition:
            return "hri_position";
        case Op::PrinterInfo:
            return "printer_id";
        case Op::LeftMargin:
            return "left_margin";
        case Op::MotionUnits:
            return "motion_units";
        case Op::PrintAreaWidth:
            return "print_area_width";
        case Op::RelativeVerticalPosition:
            return "rel_vposition";
        case Op::ExecuteMacro:
            return "exec_macro";
        case Op::AsbEnable:
            return "asb_enable";
        case Op::Smoothing:
            return "smoothing";
        case Op::HriFont:
            return "hri_font";
        case Op::Maintenance:
            return "maintenance";
        case Op::BarcodeHeight:
            return "barcode_height";
        case Op::TransmitStatus:
            return "transmit_status";
        case Op::ModuleWidth:
            return "module_width";
        case Op::TestPrint:
            return "test_print";
        case Op::UserSetup:
            return "user_setup";
        case Op::PrintControl:
            return "print_control";
        case Op::CharacterColor:
            return "character_color";
        case Op::ProcessIdRequest:
            return "process_id";
        case Op::RasterImage:
            return "raster_image";
        case Op::Barcode:
            return "barcode";
        case Op::DefineDownloaded:
            return "define_downloaded";
        case Op::CutFull:
            return "cut_full";
        case Op::CutPartial:
            return "cut_partial";
        case Op::LineSegments:
            return "line_segments";
        case Op::CurvedText:
            return "curved_text";
        case Op::Graphics:
            return "graphics";
        case Op::NvCapacity:
            return "nv_capacity";
        case Op::PrintBufferGraphics:
            return "print_buffer_graphics";
        case Op::GraphicsCapacity:
            return "graphics_capacity";
        case Op::NvListKeys:
            return "nv_list_keys";
        case Op::NvDeleteAll:
            return "nv_delete_all";
        case Op::NvDelete:
            return "nv_delete";
        case Op::NvDefine:
            return "nv_define";
        case Op::NvPrint:
            return "nv_print";
        case Op::StoreBufferGraphics:
            return "store_buffer_graphics";
        case Op::StoreBufferGraphicsColumn:
            return "store_buffer_graphics_column";
        case Op::Symbol:
            return "symbol";
        case Op::Pdf417Columns:
            return "pdf417_columns";
        case Op::Pdf417Rows:
            return "pdf417_rows";
        case Op::Pdf417ModuleWidth:
            return "pdf417_module_width";
        case Op::Pdf417RowHeight:
            return "pdf417_row_height";
        case Op::Pdf417ErrorLevel:
            return "pdf417_error_level";
        case Op::Pdf417Options:
            return "pdf417_options";
        case Op::Pdf417Store:
            return "pdf417_store";
        case Op::Pdf417Print:
            return "pdf417_print";
        case Op::Pdf417Size:
            return "pdf417_size";
        case Op::QrModel:
            return "qr_model";
        case Op::QrModuleSize:
            return "qr_module_size";
        case Op::QrErrorLevel:
            return "qr_error_level";
        case Op::QrStore:
            return "qr_store";
        case Op::QrPrint:
            return "qr_print";
        case Op::QrSize:
            return "qr_size";
        case Op::KanjiModes:
            return "kanji_modes";
        case Op::KanjiOn:
            return "kanji_on";
        case Op::KanjiOff:
            return "kanji_off";
        case Op::KanjiUnderline:
            return "kanji_underline";
        case Op::KanjiCode:
            return "kanji_code";
        case Op::KanjiSpacing:
            return "kanji_spacing";
        case Op::KanjiQuad:
            return "kanji_quad";
        case Op::PrintNvImage:
            return "print_nv_image";
        case Op::DefineNvImages:
            return "define_nv_images";
        case Op::RealTimeStatus:
            return "rt_status";
        case Op::RealTimeRequest:
            return "rt_request";
        case Op::RealTimePulse:
            return "rt_pulse";
        case Op::RealTimePowerOff:
            return "rt_power_off";
        case Op::RealTimeBuzzer:
            return "rt_buzzer";
        case Op::RealTimeClearBuffers:
            return "rt_clear_buffers";
        case Op::RealTimeCommand:
            return "rt_command";
    }
    return "?";
}

bool IsRealTime(Op op) {
    switch (op) {
        case Op::RealTimeStatus:
        case Op::RealTimeRequest:
        case Op::RealTimePulse:
        case Op::RealTimePowerOff:
        case Op::RealTimeBuzzer:
        case Op::RealTimeClearBuffers:
        case Op::RealTimeCommand:
            return true;
        default:
            return false;
    }
}

std::string TraceText(const Command& cmd) {
    std::string out = cmd.code;
    if (cmd.op == Op::Text) {
        out += " \"" + std::string(cmd.data.begin(), cmd.data.end()) + "\"";
    } else {
        for (int a : cmd.args) out += " " + std::to_string(a);
        if (!cmd.data.empty()) out += " [" + std::to_string(cmd.data.size()) + "]";
    }
    if (cmd.unknown()) out += " ?";
    if (cmd.truncated) out += " (truncated)";
    return out;
}

}  // namespace QVO::Sim
