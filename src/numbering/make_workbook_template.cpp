// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the workbook the numbering export starts from: sheets "Files" and
// "Folders" with their headings in row 1. Run by the build into DATA/.
//
//   make_workbook_template OUTPUT.xlsx
#include <xlsxwriter.h>

#include <cstdio>
#include <initializer_list>

namespace {

bool headings(lxw_workbook *book, const char *sheetName, std::initializer_list<const char *> names)
{
    lxw_worksheet *sheet = workbook_add_worksheet(book, sheetName);
    if (!sheet)
        return false;
    lxw_col_t column = 0;
    for (const char *name : names)
        if (worksheet_write_string(sheet, 0, column++, name, nullptr) != LXW_NO_ERROR)
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.xlsx\n", argv[0]);
        return 2;
    }
    lxw_workbook *book = workbook_new(argv[1]);
    if (!book) {
        std::fprintf(stderr, "%s: cannot start the workbook\n", argv[1]);
        return 1;
    }
    const bool filled =
        headings(book, "Files", {"FileID", "FileName", "Extension", "MakeItDate", "FolderID", "FolderName"})
        && headings(book, "Folders", {"FolderID", "FolderName"});
    const lxw_error closed = filled ? workbook_close(book) : LXW_ERROR_MEMORY_MALLOC_FAILED;
    if (!filled)
        lxw_workbook_free(book);
    if (closed != LXW_NO_ERROR) {
        std::fprintf(stderr, "%s: %s\n", argv[1], lxw_strerror(closed));
        std::remove(argv[1]); // no half-written template for the next build to take as done
        return 1;
    }
    return 0;
}
