/* The install benchmark's floor: creates the files of a list, with their
 * sizes, below a folder, with nothing but CreateDirectoryW, CreateFileW,
 * WriteFile and CloseHandle, as fast as a program can make them. The list has
 * one line per file: its size, a tab, and its path below the folder with
 * backslashes (UTF-8). Folders on the way are made as they are met.
 * Usage: create_files.exe LIST FOLDER */
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

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fputs("usage: create_files.exe LIST FOLDER\n", stderr);
        return 2;
    }
    FILE* list = _wfopen(argv[1], L"rb");
    if (!list) {
        fwprintf(stderr, L"create_files: cannot read %ls\n", argv[1]);
        return 2;
    }
    size_t base_length = wcslen(argv[2]);
    if (!CreateDirectoryW(argv[2], NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return 2;
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
        swprintf(path, length + 1, L"%ls\\%ls", argv[2], name);
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
        free(name);
        ++count;
    }
    fclose(list);
    printf("%lu files\n", count);
    return buffer ? 0 : 1;
}
