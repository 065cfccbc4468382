// One game's personal best, alone in a process of its own, for the test of games finishing at once.
// Answers one line for each line it reads on standard input:
//   "read <record>": makes the record of that file, as a game does when it starts -> "ready"
//   "finish <ms> <gate>": answers "waiting", waits until it may take a shared lock on the file
//   <gate> (the test holds it until every game waits), then records a finish with that total and
//   no gate failure -> "done"
// What the record says on standard error goes to standard error.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "app/personalbest.h"

int main() {
    std::unique_ptr<PersonalBest> best;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "read") {
            std::string record;
            in >> record;
            best = std::make_unique<PersonalBest>(QString::fromStdString(record));
            std::cout << "ready" << std::endl;
        } else if (command == "finish" && best != nullptr) {
            long long ms = -1;
            std::string gate;
            in >> ms >> gate;
            const int fd = open(gate.c_str(), O_RDONLY | O_CLOEXEC);
            std::cout << "waiting" << std::endl;
            if (fd < 0 || flock(fd, LOCK_SH) != 0) {
                std::cerr << "personalbest_racer: no gate " << gate << std::endl;
                return 2;
            }
            close(fd);
            best->recordFinish(ms, 0);
            std::cout << "done" << std::endl;
        } else {
            std::cerr << "personalbest_racer: no such command: " << line << std::endl;
            return 2;
        }
    }
    return 0;
}
