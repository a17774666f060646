// Feeds every file of the given folders (and plain files) to a fuzz target once, so that the
// seed corpora and every crash ever found are re-run by the normal test suite in seconds. A file
// named "match-*", "nomatch-*" or "error-*" must also give that outcome; `--print` lists what
// each input gives instead of checking it.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
// "match", "nomatch" or "error", as each target defines them.
const char *fuzzOutcome(const QByteArray &bytes);

int main(int argc, char **argv)
{
    const bool print = argc > 1 && std::strcmp(argv[1], "--print") == 0;
    int files = 0, wrong = 0;
    for (int i = print ? 2 : 1; i < argc; ++i) {
        const QString root = QFile::decodeName(argv[i]);
        QStringList inputs;
        if (QFileInfo(root).isDir()) {
            QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                inputs << it.next();
        } else if (QFileInfo::exists(root)) {
            inputs << root;
        }
        inputs.sort();
        for (const QString &path : inputs) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 2;
            }
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
            ++files;
            const QString expected = QFileInfo(path).fileName().section(u'-', 0, 0);
            const QString outcome = QString::fromLatin1(fuzzOutcome(bytes));
            if (print) {
                std::printf("%s %s\n", qPrintable(outcome), qPrintable(path));
            } else if (QStringList{u"match"_qs, u"nomatch"_qs, u"error"_qs}.contains(expected) &&
                       outcome != expected) {
                std::fprintf(stderr, "%s: gives %s\n", qPrintable(path), qPrintable(outcome));
                ++wrong;
            }
        }
    }
    std::printf("replayed %d inputs, %d with another outcome than their name\n", files, wrong);
    return files > 0 && wrong == 0 ? 0 : 1;
}
