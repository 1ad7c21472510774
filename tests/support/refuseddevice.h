#pragma once

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlink::testing {

// A file in place of a device node that the test may not open, as a user
// outside the group of /dev/ttyUSB0 may not.  As root, whom permission bits
// do not stop, the file is root's, of group dialout (nogroup where there is
// no dialout) with mode 0660, and a Refusal makes the process act as nobody
// while it lives; programs started meanwhile act as nobody too.  As any
// other user the file is the user's own with mode 0060: its owner is
// refused although its group, the user's own, may use it, so no group
// would help.
class RefusedDevice
{
public:
    // The file is `name` in a folder of its own that everybody may enter.
    explicit RefusedDevice(const std::string& name)
    {
        std::string folder =
            (std::filesystem::temp_directory_path() / "quorlink-refused-XXXXXX").string();
        if (::mkdtemp(folder.data()))
            ::chmod(folder.c_str(), 0755);
        m_folder = folder;
        m_path = m_folder / name;
        std::ofstream{m_path};
        if (::geteuid() == 0) {
            const struct group* entry = ::getgrnam("dialout");
            if (!entry)
                entry = ::getgrnam("nogroup");
            if (entry && ::chown(m_path.c_str(), 0, entry->gr_gid) == 0)
                m_group = entry->gr_name;
            ::chmod(m_path.c_str(), 0660);
        } else {
            ::chmod(m_path.c_str(), 0060);
        }
    }
    ~RefusedDevice()
    {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }

    std::string path() const { return m_path.string(); }
    // The group that may use it and that the refused user is not in; empty
    // when no group would help.
    const std::string& group() const { return m_group; }

    // While it lives, the process may not open the file.
    class Refusal
    {
    public:
        Refusal()
        {
            if (::geteuid() != 0)
                return;
            // Real and effective user both: a program started as one user
            // acting as another is run in the kernel's secure mode, where a
            // sanitizer build can neither read its options nor look for
            // leaks.  The saved user stays root, to come back.
            const passwd* nobody = ::getpwnam("nobody");
            m_dropped = nobody && ::setresuid(nobody->pw_uid, nobody->pw_uid, 0) == 0;
        }
        ~Refusal()
        {
            if (m_dropped) {
                [[maybe_unused]] const int restored = ::setresuid(0, 0, 0);
            }
        }
        Refusal(const Refusal&) = delete;
        Refusal& operator=(const Refusal&) = delete;

    private:
        bool m_dropped = false;
    };

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_path;
    std::string m_group;
};

} // namespace quorlink::testing
