// EditProbe: a table built from lines without a file, as the loader builds one,
// with accessors that read its rows and flags under the row array's lock.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "TableProbe.h"

namespace qvtest {

class EditProbe : public TableProbe {
public:
    // A table of these lines: the column count is the widest line's field
    // count, row 0 a second copy of the first line. The caller holds the one
    // reference. No lines gives what an empty file gives: 100 columns and a
    // placeholder row whose first cell is an empty string.
    static EditProbe* Create(const std::vector<std::string>& lines, const std::string& delimiters = ",") {
        auto* table = new EditProbe(delimiters);
        table->AddRef();
        std::vector<std::string> all = lines.empty() ? std::vector<std::string>{""} : lines;
        LONG columns = 0;
        for (const std::string& line : all) columns = std::max(columns, table->Count(line));
        table->columnCount_ = lines.empty() ? 100 : columns;
        table->AddLine(all[0]);
        for (const std::string& line : lines) table->AddLine(line);
        return table;
    }

    using VxASCOSPObject::CompareVariants;
    using VxASCOSPObject::kInlineListeners;
    using VxASCOSPObject::NotifyListeners;

    LONG RowCount() {
        CSingleLock lock(rows_.GetLock());
        return rows_.GetSize() - 1;
    }
    bool Modified() {
        CSingleLock lock(rows_.GetLock());
        return modified_ != 0;
    }
    void SetModified(bool modified) {
        CSingleLock lock(rows_.GetLock());
        modified_ = modified ? 1 : 0;
    }
    bool WriteChecked() {
        CSingleLock lock(rows_.GetLock());
        return writeChecked_ != 0;
    }
    // Spares setVariant its one-time file test (a probe has no file).
    void SkipWriteCheck() {
        CSingleLock lock(rows_.GetLock());
        writeChecked_ = 1;
    }
    void SetFile(const std::string& path) { boundPath_.Bind(W(path).c_str()); }

    // Entry row of the row array (0 is the placeholder).
    VARTYPE Type(LONG row, LONG column) {
        CSingleLock lock(rows_.GetLock());
        return rows_[row]->CellOrEmpty(column - 1).Type();
    }
    // The cell as text (CellText).
    std::string Text(LONG row, LONG column) {
        CSingleLock lock(rows_.GetLock());
        return CellText(RowCell(row, column - 1).v);
    }
    // The type of a cell when the data row exists, else VT_ILLEGAL-like 0xFFFF,
    // checked and read in one hold of the lock (for threads racing with edits).
    VARTYPE TypeIfThere(LONG row, LONG column) {
        CSingleLock lock(rows_.GetLock());
        if (row < 1 || row >= rows_.GetSize()) return 0xFFFF;
        return rows_[row]->CellOrEmpty(column - 1).Type();
    }
    // The texts of one column, data rows 1 to the row count.
    std::vector<std::string> ColumnTexts(LONG column) {
        CSingleLock lock(rows_.GetLock());
        std::vector<std::string> out;
        for (LONG row = 1; row < rows_.GetSize(); ++row) out.push_back(Text(row, column));
        return out;
    }
    ROWHEADER* Entry(LONG index) {
        CSingleLock lock(rows_.GetLock());
        return rows_[index];
    }
    // True when every entry of the row array holds a row of read/write status.
    bool EveryEntryHoldsARow() {
        CSingleLock lock(rows_.GetLock());
        for (LONG i = 0; i < rows_.GetSize(); ++i)
            if (!rows_[i] || rows_[i]->status != OSPRW_READWRITE ||
                (rows_[i]->cellCount > 0 && !rows_[i]->cells && !rows_[i]->InBlock()))
                return false;
        return true;
    }

private:
    explicit EditProbe(const std::string& delimiters) : TableProbe(delimiters) {}
    void AddLine(const std::string& line) {
        if (HRESULT hr = Parse(line); FAILED(hr)) throw hr;
    }
};

// Releases the reference a test holds on a table.
struct ReleaseTable {
    void operator()(EditProbe* table) const { table->Release(); }
};
typedef std::unique_ptr<EditProbe, ReleaseTable> TablePtr;

// A table of these lines that takes edits without a file.
inline TablePtr Editable(const std::vector<std::string>& lines) {
    TablePtr table(EditProbe::Create(lines));
    table->SkipWriteCheck();
    return table;
}

}  // namespace qvtest
