// Initialisation files (config.ini) with the semantics the program was
// written against: sections in brackets, one `key=value` per line.
//
// Reading: sections and keys compare case-insensitively (ASCII); blanks
// around keys and values are trimmed; lines starting with ";" are comments;
// lines without "=" and keys before the first section are ignored; when a
// section or key occurs twice, the first one wins. A file that is missing,
// binary, truncated or hand-mangled reads as far as it parses and never
// fails.
//
// Writing: the file and the section are created on the first write; an
// existing key keeps its spelling and place, a new key goes to the end of its
// section, a new section to the end of the file. Lines the reader ignores
// (comments, garbage) are kept. Every write reaches the disk at once and
// atomically: the whole file goes to a temporary file in the same folder
// that is then renamed over the old one, so a crash never leaves a
// half-written file (FlushIniFileToDisk makes the last state durable
// against power loss too, once after a series of writes). A write that
// cannot be made (unwritable folder, full disk, an existing file that
// cannot be read, a key or value that cannot be stored as one line)
// returns false and leaves the file as it was.
//
// Integers are whole decimal numbers with an optional sign in the int32
// range; anything else ("abc", "", "12x", "0x10") reads as the default.
// Booleans are integers: non-zero is true; written as "1" / "0".
//
// IniFile is not thread-safe; use one per thread. Every write re-reads the
// file first, so two IniFile objects on the same path (the profile store and
// the settings object) never undo each other's writes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// Parses a whole decimal int32 ("-12", "+7"); nullopt for anything else.
// No blanks are allowed inside; callers trim first where they want to.
std::optional<int> ParseDecimalInt(const std::string &text);

// True when `key` can be written and read back under the same name: not
// blank, no "=", no line break, not starting with "[" or ";".
bool IsStorableIniKey(const std::string &key);

class IniFile {
public:
    // Reads `path` at once (a missing or unreadable file reads as empty).
    explicit IniFile(std::string path);

    const std::string &Path() const { return path_; }
    // Re-reads the file from disk.
    void Reload();

    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &defaultValue) const;
    int ReadInteger(const std::string &section, const std::string &key, int defaultValue) const;
    bool ReadBool(const std::string &section, const std::string &key, bool defaultValue) const;
    bool KeyExists(const std::string &section, const std::string &key) const;
    bool SectionExists(const std::string &section) const;
    // Keys of the section in file order (first occurrence of each), as spelled.
    std::vector<std::string> SectionKeys(const std::string &section) const;
    std::vector<std::string> Sections() const;

    // Each returns true once the file on disk holds the change.
    bool WriteString(const std::string &section, const std::string &key, const std::string &value);
    bool WriteInteger(const std::string &section, const std::string &key, int value);
    bool WriteBool(const std::string &section, const std::string &key, bool value);
    // Removes the section (every occurrence) with all its lines. Erasing a
    // section that does not exist succeeds without touching the file.
    bool EraseSection(const std::string &section);
    // Removes one key. Missing key: true, file untouched.
    bool DeleteKey(const std::string &section, const std::string &key);

private:
    bool Store();
    std::string path_;
    std::vector<std::string> lines_;
    bool readFailed_ = false;  // the file exists but could not be read
};

// The classic free functions over a path; each call reads the file afresh.
std::string GetPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &defaultValue, const std::string &fileName);
int GetPrivateProfileInt(const std::string &section, const std::string &key, int defaultValue,
                         const std::string &fileName);
bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &fileName);
bool ErasePrivateProfileSection(const std::string &section, const std::string &fileName);
std::vector<std::string> GetPrivateProfileSectionKeys(const std::string &section,
                                                      const std::string &fileName);

// fsyncs the file and its folder; false when either cannot be synced.
bool FlushIniFileToDisk(const std::string &fileName);

}  // namespace platform
