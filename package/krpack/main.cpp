// krpack: appends a firmware package to the update tool's executable after
// checking every rule the loader relies on, and shows what a finished
// executable carries.
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/PackageWriter.h"
#include "package/StdPackageFile.h"

namespace {

constexpr std::string_view kUsage =
    "usage:\n"
    "  krpack append --exe IN.exe (--record TEXT | --record-file FILE) --out OUT.exe\n"
    "                IMG0 IMG1 IMG2 IMG3 IMG4\n"
    "      Appends record, image 0, record, ..., image 4, record to a copy of IN.exe.\n"
    "      Every rule is checked before anything is written; OUT.exe is replaced\n"
    "      only by a complete file. IN.exe must not be signed yet: append first,\n"
    "      sign the finished file after.\n"
    "  krpack show FILE.exe\n"
    "      Loads the package as the update tool does and prints what it carries,\n"
    "      whether the file is signed and where the package ends, or the tool's\n"
    "      numbered failure.\n"
    "  krpack --help\n";

int Fail(const std::string& message) {
    std::cerr << "krpack: " << message << '\n';
    return 1;
}

int Append(const std::vector<std::string>& args) {
    std::optional<std::string> executable;
    std::optional<std::string> record;
    std::optional<std::string> recordFile;
    std::optional<std::string> output;
    std::vector<std::string> images;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::optional<std::string>* option = nullptr;
        if (arg == "--exe") {
            option = &executable;
        } else if (arg == "--record") {
            option = &record;
        } else if (arg == "--record-file") {
            option = &recordFile;
        } else if (arg == "--out") {
            option = &output;
        } else if (arg.starts_with("--")) {
            return Fail("unknown option '" + arg + "'; try 'krpack --help'");
        } else {
            images.push_back(arg);
            continue;
        }
        if (i + 1 == args.size()) {
            return Fail(arg + " needs a value");
        }
        if (*option) {
            return Fail(arg + " is given twice");
        }
        *option = args[++i];
    }
    if (!executable) {
        return Fail("append needs --exe IN.exe");
    }
    if (!output) {
        return Fail("append needs --out OUT.exe");
    }
    if (record.has_value() == recordFile.has_value()) {
        return Fail("append needs either --record TEXT or --record-file FILE");
    }
    if (images.size() != package::kImageCount) {
        return Fail("append needs five images IMG0 ... IMG4, got " + std::to_string(images.size()));
    }

    package::AppendRequest request;
    request.executable = *executable;
    request.record = record.value_or("");
    if (recordFile) {
        request.recordFile = *recordFile;
    }
    for (int k = 0; k < package::kImageCount; ++k) {
        request.images[k] = images[k];
    }
    request.output = *output;
    const package::WriterOutcome outcome = package::PackageWriter::AppendFiles(request);
    if (!outcome.Ok()) {
        return Fail(outcome.message);
    }
    return 0;
}

int Show(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return Fail("show needs exactly one file");
    }
    StdPackageFile file(args[0]);
    if (!file.IsOpen()) {
        return Fail("cannot open '" + args[0] + "'");
    }
    std::string text;
    if (!package::DescribePackage(file, text)) {
        return Fail("the update tool would refuse '" + args[0] + "': " + text);
    }
    std::cout << text;
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) {
        return Fail("no command; try 'krpack --help'");
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "append") {
        return Append(rest);
    }
    if (command == "show") {
        return Show(rest);
    }
    return Fail("unknown command '" + command + "'; try 'krpack --help'");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& exception) {
        return Fail(exception.what());
    }
}
