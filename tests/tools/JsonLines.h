// Checks JSON Lines output with an independent parser (Debian's Python): the whole text must
// be UTF-8, every line one JSON object with no duplicate keys and no NaN/Infinity, the last
// line ended. Each object comes back flattened: "error.resultCode" -> "109", strings quoted
// and ASCII-escaped as Python writes them ("\"TM-T88IV\"", "\"\\ufffd\"").
#pragma once

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/ToolProcess.h"

namespace QVO::Test {

inline const char kPython[] = "/usr/bin/python3";

using JsonFields = std::map<std::string, std::string>;

struct JsonLines {
    std::string error;  // empty when every line is a valid object
    std::vector<JsonFields> objects;
};

inline const char kJsonLinesCheck[] = R"PY(
import json, sys
data = open(sys.argv[1], 'rb').read()
try:
    text = data.decode('utf-8')
except UnicodeDecodeError as e:
    sys.exit('invalid UTF-8: %s' % e)
if text and not text.endswith('\n'):
    sys.exit('the last line has no line end')
def pairs(items):
    keys = [k for k, _ in items]
    if len(keys) != len(set(keys)):
        raise ValueError('duplicate key in %r' % keys)
    return dict(items)
def constant(name):
    raise ValueError('not JSON: ' + name)
def flat(prefix, value):
    if isinstance(value, dict) and value:
        for k, v in value.items():
            flat(prefix + '.' + k if prefix else k, v)
    else:
        print(prefix + '=' + json.dumps(value, ensure_ascii=True, separators=(',', ':')))
for number, line in enumerate(text.split('\n')[:-1], 1):
    try:
        obj = json.loads(line, object_pairs_hook=pairs, parse_constant=constant)
    except ValueError as e:
        sys.exit('line %d: %s: %r' % (number, e, line))
    if not isinstance(obj, dict):
        sys.exit('line %d is not an object' % number)
    print('#')
    flat('', obj)
)PY";

// Parses `text` as JSON Lines. A missing interpreter is an error, not a pass.
inline JsonLines ParseJsonLines(const std::string& text) {
    JsonLines result;
    TempDir dir;
    const std::string in = (dir.Path() / "in").string(), out = (dir.Path() / "out").string(),
                      err = (dir.Path() / "err").string();
    std::ofstream(in, std::ios::binary) << text;
    std::vector<std::string> args{kPython, "-c", kJsonLinesCheck, in};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv = ArgvOf(args);
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ) == 0)
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    posix_spawn_file_actions_destroy(&actions);
    if (pid < 0) return {std::string("cannot run ") + kPython, {}};
    if (ExitCodeOf(status) != 0) return {"rejected: " + ReadFile(err), {}};
    std::istringstream lines(ReadFile(out));
    for (std::string line; std::getline(lines, line);) {
        if (line == "#") {
            result.objects.emplace_back();
        } else if (const size_t eq = line.find('='); eq != std::string::npos && !result.objects.empty()) {
            result.objects.back()[line.substr(0, eq)] = line.substr(eq + 1);
        } else {
            result.error = "unexpected checker line: " + line;
        }
    }
    return result;
}

// A field of a parsed object, or "<absent>".
inline std::string Field(const JsonFields& object, const std::string& path) {
    const auto it = object.find(path);
    return it == object.end() ? "<absent>" : it->second;
}

}  // namespace QVO::Test
