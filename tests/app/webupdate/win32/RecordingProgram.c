/* The stand-in program of the web update's Windows tests: installed as the program or its version
   checker, it writes how it was started into a file. Its own file ends in "\n#record\n", a line
   saying what to write ("say <word>": the word; "start": its own path and its arguments;
   "start+folder": its working folder first) and a line naming the file (UTF-8). Built with the
   system's libraries alone, so that a copy runs from any folder. */
#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

static char* ReadOwnFile(DWORD* size) {
    wchar_t self[MAX_PATH];
    if (!GetModuleFileNameW(NULL, self, MAX_PATH))
        return NULL;
    HANDLE file = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    *size = GetFileSize(file, NULL);
    char* bytes = malloc(*size + 1);
    DWORD got = 0;
    if (!bytes || !ReadFile(file, bytes, *size, &got, NULL) || got != *size) {
        CloseHandle(file);
        return NULL;
    }
    CloseHandle(file);
    bytes[*size] = '\0';
    return bytes;
}

/* The last "\n#record\n" in bytes (the program's own code may hold the text as well). */
static char* FindOrders(char* bytes, DWORD size) {
    static const char mark[] = "\n#record\n";
    char* found = NULL;
    for (DWORD i = 0; i + sizeof mark - 1 <= size; ++i) {
        if (memcmp(bytes + i, mark, sizeof mark - 1) == 0)
            found = bytes + i + sizeof mark - 1;
    }
    return found;
}

static void Append(char* out, size_t room, const wchar_t* text) {
    size_t used = strlen(out);
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out + used, (int)(room - used - 1), NULL, NULL);
    if (n > 0)
        strcat(out, "\n");
}

int main(void) {
    DWORD size = 0;
    char* bytes = ReadOwnFile(&size);
    char* orders = bytes ? FindOrders(bytes, size) : NULL;
    char* path = orders ? strchr(orders, '\n') : NULL;
    if (!path)
        return 2;
    *path++ = '\0';
    path[strcspn(path, "\n")] = '\0';

    static char out[65536];
    if (strncmp(orders, "say ", 4) == 0) {
        strcat(strcpy(out, orders + 4), "\n");
    } else {
        if (strcmp(orders, "start+folder") == 0) {
            wchar_t folder[MAX_PATH];
            GetCurrentDirectoryW(MAX_PATH, folder);
            Append(out, sizeof out, folder);
        }
        int argc = 0;
        wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
        for (int i = 0; argv && i < argc; ++i)
            Append(out, sizeof out, argv[i]);
    }

    wchar_t record[MAX_PATH], partial[MAX_PATH + 4];
    if (!MultiByteToWideChar(CP_UTF8, 0, path, -1, record, MAX_PATH))
        return 3;
    wcscat(wcscpy(partial, record), L".tmp");
    HANDLE file = CreateFileW(partial, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    BOOL ok = file != INVALID_HANDLE_VALUE && WriteFile(file, out, (DWORD)strlen(out), &written, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return ok && MoveFileExW(partial, record, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
