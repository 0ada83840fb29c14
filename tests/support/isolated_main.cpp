// The main of every test program that runs the real programs or opens MIDI
// ports: its tests run only beside a JACK server of their own, where no
// other MIDI port of the machine can be reached (scripts/with-jack).
// Started anywhere else, by CTest, a developer or a debugger, it runs itself
// again through that script, and where the script cannot make such a
// place, nothing runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The script set TESSARINE_ISOLATED to the mount namespace it made, which
// is this process's.
bool Isolated() {
    const char* isolated = std::getenv("TESSARINE_ISOLATED");
    char space[64];
    const ssize_t length = readlink("/proc/self/ns/mnt", space, sizeof space - 1);
    if (isolated == nullptr || length <= 0) return false;
    space[length] = '\0';
    return std::strcmp(isolated, space) == 0;
}

bool Listing(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests opens nothing.
    const bool inPlace = Isolated() && std::getenv("WITH_JACK_SERVER_PID") != nullptr;
    if (!inPlace && !Listing(argc, argv)) {
        // Once: a script that did not make the place it should is not
        // asked again.
        if (std::getenv("TESSARINE_TESTS_RUN_AGAIN") != nullptr) {
            std::fprintf(stderr, "%s did not isolate the tests: none was run\n", WITH_JACK_PATH);
            return 1;
        }
        setenv("TESSARINE_TESTS_RUN_AGAIN", "1", 1);
        char self[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length > 0) {
            self[length] = '\0';
            std::vector<char*> again = {const_cast<char*>(WITH_JACK_PATH), self};
            again.insert(again.end(), argv + 1, argv + argc);
            again.push_back(nullptr);
            execv(again[0], again.data());
        }
        std::perror("running the tests through " WITH_JACK_PATH);
        return 1;
    }
    unsetenv("TESSARINE_TESTS_RUN_AGAIN");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
