/* The install benchmark's floor: creates the files of a list, with their
 * sizes, below a folder, with nothing but CreateDirectoryW, CreateFileW,
 * WriteFile and CloseHandle, as fast as a program can make them. The list has
 * one line per file: its size, a tab, and its path below the folder with
 * backslashes (UTF-8). Folders on the way are made as they are met.
 * With --as-install it does the file work the install itself cannot leave
 * out, and nothing else (no download, decompression, hashing, ledger or
 * checks): each file is written below FOLDER\staged, then each is read back,
 * then for each a line is appended to FOLDER\record.tsv and flushed to disk,
 * the file is created below FOLDER\product and the staged file copied into it.
 * Usage: create_files.exe [--as-install] LIST FOLDER */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

static wchar_t* widen(const char* text) {
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    wchar_t* wide = length > 0 ? malloc(length * sizeof(wchar_t)) : NULL;
    if (wide) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, length);
    return wide;
}

/* Each folder between the base and the file, once: a folder already made
 * stays the previous file's prefix in a list sorted by folder. */
static int make_folders(wchar_t* path, size_t base_length, wchar_t* previous) {
    for (wchar_t* p = path + base_length + 1; *p; ++p) {
        if (*p != L'\\') continue;
        *p = 0;
        size_t length = (size_t)(p - path);
        int known = wcsncmp(previous, path, length) == 0 && (previous[length] == L'\\');
        if (!known && !CreateDirectoryW(path, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
            fwprintf(stderr, L"create_files: cannot make %ls (%lu)\n", path, GetLastError());
            return 0;
        }
        *p = L'\\';
    }
    return 1;
}

/* Reads a file whole; copies it into target when one is given. */
static int read_back(const wchar_t* path, HANDLE target, char* buffer, DWORD buffer_size) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD got = 0, written = 0;
    int ok = 1;
    while (ok && (ok = ReadFile(file, buffer, buffer_size, &got, NULL)) && got) {
        ok = !target || (WriteFile(target, buffer, got, &written, NULL) && written == got);
    }
    CloseHandle(file);
    return ok;
}

/* The paths below FOLDER\staged and FOLDER\product of a file below FOLDER. */
static int as_install_paths(const wchar_t* folder, const wchar_t* name, wchar_t* staged, wchar_t* product) {
    return swprintf(staged, MAX_PATH * 2, L"%ls\\staged\\%ls", folder, name) > 0 &&
           swprintf(product, MAX_PATH * 2, L"%ls\\product\\%ls", folder, name) > 0;
}

/* The install's later passes over the staged files (the first pass, which
 * writes them, is the floor's own loop). */
static int as_install(const wchar_t* folder, wchar_t** names, unsigned long count, char* buffer, DWORD buffer_size) {
    wchar_t staged[MAX_PATH * 2], product[MAX_PATH * 2], previous[MAX_PATH * 2] = L"";
    size_t base_length = wcslen(folder) + wcslen(L"\\product");
    for (unsigned long i = 0; i < count; ++i) {
        if (!as_install_paths(folder, names[i], staged, product) || !read_back(staged, NULL, buffer, buffer_size)) {
            return 0;
        }
    }
    swprintf(product, MAX_PATH * 2, L"%ls\\record.tsv", folder);
    HANDLE record = CreateFileW(product, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, CREATE_NEW, 0, NULL);
    if (record == INVALID_HANDLE_VALUE) return 0;
    /* About as long as a line of the install's recovery record. */
    static const char line[300] = {0};
    for (unsigned long i = 0; i < count; ++i) {
        if (!as_install_paths(folder, names[i], staged, product) || !make_folders(product, base_length, previous)) {
            return 0;
        }
        wcscpy(previous, product);
        HANDLE target = CreateFileW(product, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        DWORD written = 0;
        int ok = target != INVALID_HANDLE_VALUE && WriteFile(record, line, sizeof line, &written, NULL) &&
                 FlushFileBuffers(record) && read_back(staged, target, buffer, buffer_size);
        if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
        if (!ok) {
            fwprintf(stderr, L"create_files: cannot install %ls (%lu)\n", product, GetLastError());
            return 0;
        }
    }
    CloseHandle(record);
    return 1;
}

int wmain(int argc, wchar_t** argv) {
    int install = argc == 4 && wcscmp(argv[1], L"--as-install") == 0;
    if (install) ++argv, --argc;
    if (argc != 3) {
        fputs("usage: create_files.exe [--as-install] LIST FOLDER\n", stderr);
        return 2;
    }
    FILE* list = _wfopen(argv[1], L"rb");
    if (!list) {
        fwprintf(stderr, L"create_files: cannot read %ls\n", argv[1]);
        return 2;
    }
    wchar_t base[MAX_PATH * 2];
    swprintf(base, MAX_PATH * 2, install ? L"%ls\\staged" : L"%ls", argv[2]);
    size_t base_length = wcslen(base);
    if (!CreateDirectoryW(argv[2], NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return 2;
    if (install && !CreateDirectoryW(base, NULL)) return 2;
    wchar_t** names = NULL;
    /* The bytes written are a buffer as large as the largest file; what they
     * are does not matter to the disk. */
    DWORD buffer_size = 1 << 20;
    char* buffer = calloc(buffer_size, 1);
    wchar_t previous[MAX_PATH * 2] = L"";
    char line[4096];
    unsigned long count = 0;
    while (buffer && fgets(line, sizeof line, list)) {
        char* tab = strchr(line, '\t');
        if (!tab) continue;
        line[strcspn(line, "\r\n")] = 0;
        DWORD size = (DWORD)strtoul(line, NULL, 10);
        if (size > buffer_size) {
            free(buffer);
            buffer_size = size;
            buffer = calloc(buffer_size, 1);
            if (!buffer) break;
        }
        wchar_t* name = widen(tab + 1);
        size_t length = name ? base_length + 1 + wcslen(name) : 0;
        wchar_t* path = length ? malloc((length + 1) * sizeof(wchar_t)) : NULL;
        if (!path) return 2;
        swprintf(path, length + 1, L"%ls\\%ls", base, name);
        if (length >= sizeof previous / sizeof previous[0] || !make_folders(path, base_length, previous)) return 1;
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE || (size && (!WriteFile(file, buffer, size, &written, NULL) || written != size))) {
            fwprintf(stderr, L"create_files: cannot write %ls (%lu)\n", path, GetLastError());
            return 1;
        }
        CloseHandle(file);
        wcscpy(previous, path);
        free(path);
        if (install) {
            wchar_t** more = realloc(names, (count + 1) * sizeof *names);
            if (!more) return 2;
            names = more;
            names[count] = name;
        } else {
            free(name);
        }
        ++count;
    }
    fclose(list);
    if (install) {
        swprintf(base, MAX_PATH * 2, L"%ls\\product", argv[2]);
        if (!buffer || !CreateDirectoryW(base, NULL) || !as_install(argv[2], names, count, buffer, buffer_size)) return 1;
    }
    printf("%lu files\n", count);
    return buffer ? 0 : 1;
}
