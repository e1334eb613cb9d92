// SPDX-License-Identifier: GPL-3.0-or-later
// Replays a fuzz target's corpus as an ordinary test: every input the fuzzer
// kept goes through the target once more, in every build.
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char *argv[])
{
    LLVMFuzzerInitialize(&argc, &argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const QStringList inputs = corpus.entryList(QDir::Files);
    if (inputs.isEmpty()) {
        std::fprintf(stderr, "no inputs in %s\n", argv[1]);
        return 2;
    }
    for (const QString &name : inputs) {
        QFile input(corpus.filePath(name));
        if (!input.open(QIODevice::ReadOnly))
            return 2;
        const QByteArray data = input.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.constData()),
                               size_t(data.size()));
    }
    std::printf("%lld inputs replayed\n", static_cast<long long>(inputs.size()));
    return 0;
}
