// Test helper: a C library locale compiled at run time from a definition of
// one category, into a temporary folder. Such a definition needs no locale
// sources and compiles in a fraction of a second. SetCommaDecimalLocale puts
// the process's number format to a decimal comma with it.
#pragma once

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

class CompiledLocale {
public:
    CompiledLocale() = default;
    CompiledLocale(const CompiledLocale&) = delete;
    CompiledLocale& operator=(const CompiledLocale&) = delete;
    ~CompiledLocale() {
        std::error_code ignored;
        if (!folder.empty())
            std::filesystem::remove_all(folder, ignored);
    }

    // Compiles `definition` (e.g. "LC_NUMERIC\n...\nEND LC_NUMERIC\n") and
    // sets `category` to it. False, with the reason in `why`, when that
    // cannot be done here.
    bool Set(int category, const std::string& definition, std::string& why) {
        if (!Compile(definition, why))
            return false;
        setenv("LOCPATH", folder.c_str(), 1);
        const bool set = std::setlocale(category, "compiled") != nullptr;
        unsetenv("LOCPATH");
        if (!set)
            why = "localedef did not make a usable locale";
        return set;
    }

private:
    bool Compile(const std::string& definition, std::string& why) {
        std::string templ = (std::filesystem::temp_directory_path() / "kvlocaleXXXXXX").string();
        if (mkdtemp(templ.data()) == nullptr) {
            why = "no temporary folder for a compiled locale";
            return false;
        }
        folder = templ;
        const std::string source = folder + "/definition";
        FILE* f = std::fopen(source.c_str(), "w");
        if (f == nullptr) {
            why = "cannot write the locale definition";
            return false;
        }
        std::fputs(definition.c_str(), f);
        std::fclose(f);
        // -c: the other categories are missing on purpose; localedef then
        // warns and exits non-zero, so only the result counts. A bounded run.
        const std::string command =
            "timeout 30 localedef -c -i '" + source + "' '" + folder + "/compiled' >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        if (status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 127)) {
            why = "localedef (or timeout) is not installed";
            return false;
        }
        return true;
    }

    std::string folder;
};

// Sets LC_NUMERIC to a comma-decimal locale: an installed one, or one that
// defines only the number format, compiled here. False with `why` when none
// can be had.
inline bool SetCommaDecimalLocale(CompiledLocale& compiled, std::string& why) {
    const auto commaInPrintf = [] {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
        return std::string(buffer) == "1,5";
    };
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr && commaInPrintf())
            return true;
    }
    if (!compiled.Set(LC_NUMERIC,
                      "LC_NUMERIC\n"
                      "decimal_point \"<U002C>\"\n"
                      "thousands_sep \"<U002E>\"\n"
                      "grouping 3;3\n"
                      "END LC_NUMERIC\n",
                      why))
        return false;
    if (!commaInPrintf()) {
        why = "the compiled locale does not print a decimal comma";
        return false;
    }
    return true;
}
