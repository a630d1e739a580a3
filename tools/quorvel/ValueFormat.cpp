// Cells as text and as JSON.
#include "ValueFormat.h"

#include <cstdio>

#include "TextCodec.h"
#include "platform/VariantText.h"

namespace quorvel {
namespace {

std::string BstrNarrow(BSTR text) { return NarrowFromWide(text, SysStringLen(text)); }

// Control characters as escapes, so that one cell stays on one line.
std::string Escape(const std::string& text, bool quoteMarks) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += quoteMarks ? "\\\\" : "\\";
                break;
            case '"':
                out += quoteMarks ? "\\\"" : "\"";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
                    out += buffer;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    return out;
}

std::string OtherText(const VARIANT& cell) {
    qv::WideString text;
    if (!qv::VariantToText(cell, text)) return std::string();
    return NarrowFromWide(text.data(), text.size());
}

}  // namespace

nlohmann::ordered_json CellToJson(const VARIANT& cell) {
    if (cell.vt == VT_EMPTY) return nullptr;
    if (cell.vt == VT_BSTR) return Utf8FromWide(cell.bstrVal, SysStringLen(cell.bstrVal));
    nlohmann::ordered_json value;
    switch (cell.vt) {
        case VT_NULL:
            value = nullptr;
            break;
        case VT_I1:
            value = static_cast<int>(cell.cVal);
            break;
        case VT_I2:
            value = cell.iVal;
            break;
        case VT_I4:
            value = static_cast<int32_t>(cell.lVal);
            break;
        case VT_INT:
            value = cell.intVal;
            break;
        case VT_I8:
            value = static_cast<int64_t>(cell.llVal);
            break;
        case VT_UI1:
            value = cell.bVal;
            break;
        case VT_UI2:
            value = cell.uiVal;
            break;
        case VT_UI4:
            value = static_cast<uint32_t>(cell.ulVal);
            break;
        case VT_UINT:
            value = cell.uintVal;
            break;
        case VT_UI8:
            value = static_cast<uint64_t>(cell.ullVal);
            break;
        case VT_R4:
            value = cell.fltVal;
            break;
        case VT_R8:
            value = cell.dblVal;
            break;
        case VT_BOOL:
            value = cell.boolVal != VARIANT_FALSE;
            break;
        default: {
            qv::WideString text;
            if (qv::VariantToText(cell, text))
                value = Utf8FromWide(text.data(), text.size());
            else
                value = nullptr;
        }
    }
    return nlohmann::ordered_json{{"vt", cell.vt}, {"value", value}};
}

std::string CellToDisplay(const VARIANT& cell) {
    if (cell.vt == VT_EMPTY) return std::string();
    if (cell.vt == VT_BSTR) return Escape(BstrNarrow(cell.bstrVal), false);
    if (cell.vt == VT_NULL) return "(null)";
    std::string text = OtherText(cell);
    return text.empty() ? "(vt=" + std::to_string(cell.vt) + ")" : text;
}

std::string CellToAnswer(const VARIANT& cell) {
    if (cell.vt == VT_EMPTY) return "empty";
    if (cell.vt == VT_NULL) return "null";
    if (cell.vt == VT_BSTR) return "\"" + Escape(BstrNarrow(cell.bstrVal), true) + "\"";
    std::string answer = "vt=" + std::to_string(cell.vt);
    std::string text = OtherText(cell);
    return text.empty() ? answer : answer + " " + text;
}

}  // namespace quorvel
