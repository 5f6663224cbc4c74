// minisign's three files: read, written, signed and checked. The texts
// below were made by minisign 0.11 (an unencrypted key from -G -W, and
// signatures of "hello\n" from -S and -S -l); where minisign is installed,
// it also checks what this program signs and signs what it checks.

#include "services/Runtime.h"
#include "signing/ListSignature.h"
#include "signing/Minisign.h"
#include "signing/Signatures.h"

#include <sodium.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace deptest;
using namespace deptest::signing;

namespace {

const std::string minisignPublicKey = "untrusted comment: minisign public key 4CF0B8D5811C2066\n"
                                      "RWRmIByB1bjwTKOsx97oLEBEJFjzhI2NGjNWReT5up32hLEuulK3i62Z\n";
const std::string minisignSecretKey
    = "untrusted comment: minisign encrypted secret key\n"
      "RWQAAEIyAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAZiAcgdW48Ezk+"
      "e3UypdCQnYlWOJWMm2GrC6ZHnSix"
      "NrodP/ZbxqbsKOsx97oLEBEJFjzhI2NGjNWReT5up32hLEuulK3i62ZAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\n";
const std::string signed_ = "hello\n";
const std::string prehashedSignature
    = "untrusted comment: signature from minisign secret key\n"
      "RURmIByB1bjwTBwvKcaJL/pIgvjlr8CB3t8gmQn3hGvHbOoBgUCcTuy/ZUtEVCFiMMoKtsRs/UPIohRfS+D8k9Qx+pOqzOQbuw0=\n"
      "trusted comment: tc here\n"
      "D3eJTKPFIeXhBpeeBDWryid1DfJhFDGcVy/h7ZCCuWJ2rWytFQqKW/yj1zNhgkst+cqASYq0eFswKCQItUUnDQ==\n";
const std::string legacySignature
    = "untrusted comment: signature from minisign secret key\n"
      "RWRmIByB1bjwTLzBnLgCFMRe8LirvCIw70UXLHwW9W16UzBiosJ9zJgINDjW7dMCP7e3isOqX2FZzKEy3OSoNWXPtE2/TeykkQE=\n"
      "trusted comment: timestamp:1796880864\tfile:f.txt\n"
      "hXikbtiby7QdfQleI4ibHK3XBF4ogrjy7x6Xq6rUMlAqkgnTQ84vGC9K+f9NwePqxl8kV4wgHoY86AEEQhDjCw==\n";

std::vector<TrustedKey> minisignKey() { return { { "k.pub", *readPublicKey(minisignPublicKey) } }; }

// The text with `from` replaced by `to` once.
std::string edited(std::string text, std::string_view from, std::string_view to)
{
    const std::size_t at = text.find(from);
    Q_ASSERT(at != std::string::npos);
    return text.replace(at, from.size(), to);
}

void writeFile(const QString& path, std::string_view text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

std::string readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

} // namespace

class tst_Signing : public QObject {
    Q_OBJECT

private slots:
    void readsMinisignsFiles()
    {
        const Result<PublicKey> key = readPublicKey(minisignPublicKey);
        QVERIFY(key);
        QCOMPARE(keyIdText(key->id), std::string("4CF0B8D5811C2066"));
        QCOMPARE(publicKeyText(*key), minisignPublicKey);
        const Result<SignatureFile> signature = readSignature(prehashedSignature);
        QVERIFY(signature);
        QCOMPARE(signature->trustedComment, std::string("tc here"));
        QCOMPARE(signatureText(*signature), prehashedSignature);
        QCOMPARE(readSignature(legacySignature)->signedAs, SignedAs::Whole);
        // Lines that end in CR LF read the same.
        std::string crlf = prehashedSignature;
        for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
            crlf.insert(at, "\r");
        QCOMPARE(readSignature(crlf)->globalSignature, signature->globalSignature);
        // Several CRs end a line as one does, so that what is read writes
        // back to text that reads the same.
        const Result<SignatureFile> carriageReturns
            = readSignature(edited(prehashedSignature, "tc here\n", "tc here\r\r\r\n"));
        QVERIFY(carriageReturns);
        QCOMPARE(carriageReturns->trustedComment, std::string("tc here"));
        QCOMPARE(signatureText(*carriageReturns), prehashedSignature);
    }

    void refusesFilesThatAreNotMinisigns_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const char* kind, const std::string& text, const char* reason) {
            QTest::newRow(name) << kind << QByteArray::fromStdString(text) << reason;
        };
        row("empty key", "public", "", "not a minisign public key (an untrusted comment and one line of base64)");
        row("key without its comment", "public", minisignPublicKey.substr(minisignPublicKey.find('\n') + 1),
            "not a minisign public key (an untrusted comment and one line of base64)");
        row("key cut short", "public", edited(minisignPublicKey, "i62Z", "i6"),
            "not a minisign public key (its second line is not base64 of the right length)");
        row("key of another algorithm", "public", edited(minisignPublicKey, "RWRm", "RVRm"),
            "a public key of another algorithm than Ed25519");
        row("signature instead of a key", "public", prehashedSignature,
            "not a minisign public key (an untrusted comment and one line of base64)");
        row("signature of three lines", "signature", prehashedSignature.substr(0, prehashedSignature.rfind("D3eJ")),
            "not a minisign signature (it has 3 lines, not 4)");
        row("signature without its trusted comment", "signature",
            edited(prehashedSignature, "trusted comment: tc", "tc"),
            "not a minisign signature (its comments are not where they belong)");
        row("signature with a bad character", "signature", edited(prehashedSignature, "RURm", "RU*m"),
            "not a minisign signature (a signature line is not base64 of the right length)");
        row("signature of another algorithm", "signature", edited(prehashedSignature, "RURm", "UURm"),
            "a signature of another algorithm than Ed25519");
        row("signature of 10 MB", "signature", std::string(prehashedSignature).append(10'000'000, 'A'),
            "too large to be a signature");
        row("secret key as a public key", "public", minisignSecretKey,
            "not a minisign public key (its second line is not base64 of the right length)");
        row("secret key encrypted another way", "secret", edited(minisignSecretKey, "RWQAAEIy", "RWRYAEIy"),
            "a secret key encrypted another way than with scrypt");
        row("secret key without a checksum", "secret", edited(minisignSecretKey, "RWQAAEIy", "RWQAAEEy"),
            "a secret key of another algorithm than Ed25519 with a BLAKE2b checksum");
    }
    void refusesFilesThatAreNotMinisigns()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const std::string bytes = text.toStdString();
        const Outcome failure = kind == "public" ? readPublicKey(bytes).failure()
            : kind == "secret"                   ? readSecretKey(bytes).failure()
                                                 : readSignature(bytes).failure();
        QVERIFY(failure);
        QCOMPARE(failure->number, error::pathFileAccess);
        QCOMPARE(QString::fromStdString(failure->description), reason);
    }

    // A list passes only with its own bytes, its own trusted comment and a
    // signature by a key that is trusted.
    void checksLists_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<bool>("trustedKey");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char* name, const std::string& list, const std::string& signature, bool trusted,
                             const char* refusal) {
            QTest::newRow(name) << QByteArray::fromStdString(list) << QByteArray::fromStdString(signature) << trusted
                                << refusal;
        };
        row("prehashed", signed_, prehashedSignature, true, "");
        row("legacy", signed_, legacySignature, true, "");
        row("a byte edited", "hellO\n", prehashedSignature, true, "its signature does not match its contents");
        row("a byte added", signed_ + "\n", legacySignature, true, "its signature does not match its contents");
        row("trusted comment edited", signed_, edited(prehashedSignature, "tc here", "tc there"), true,
            "the trusted comment of its signature has been changed");
        row("signature edited", signed_, edited(prehashedSignature, "RURmIByB1bjwTBwv", "RURmIByB1bjwTBwu"), true,
            "its signature does not match its contents");
        row("another key", signed_, prehashedSignature, false,
            "it is signed by key 4CF0B8D5811C2066, which is not trusted");
        row("unsigned", signed_, "", true, "it is not signed, and a trusted key applies");
        row("malformed signature", signed_, "untrusted comment: x\n", true,
            "its signature file is not a minisign signature (it has 1 lines, not 4)");
    }
    void checksLists()
    {
        QFETCH(QByteArray, list);
        QFETCH(QByteArray, signature);
        QFETCH(bool, trustedKey);
        QFETCH(QString, refusal);
        std::vector<TrustedKey> keys = minisignKey();
        if (!trustedKey)
            keys = { { "other.pub", publicKeyOf(newSecretKey()) } };
        const std::optional<std::string> signatureFile
            = signature.isEmpty() ? std::nullopt : std::optional(signature.toStdString());
        const Result<SignedBy> checked = checkList(list.toStdString(), signatureFile, keys);
        QCOMPARE(checked ? QString() : QString::fromStdString(checked.error().description), refusal);
        if (checked)
            QCOMPARE(checked->keyId, std::string("4CF0B8D5811C2066"));
    }

    void opensSecretKeys()
    {
        // minisign's unencrypted key signs what its public key checks.
        const Result<SecretKey> plain = openSecretKey(*readSecretKey(minisignSecretKey), "");
        QVERIFY(plain);
        QCOMPARE(publicKeyText(publicKeyOf(*plain)), minisignPublicKey);
        const SignatureFile made = sign(*plain, "list\n", "timestamp:1", "signed by deptest");
        QVERIFY(checkList("list\n", signatureText(made), minisignKey()));
        // A key of its own, encrypted: the right password opens it, a wrong
        // one is refused; both as written and read back.
        const SecretKey key = newSecretKey();
        const std::string sealed = secretKeyText(sealSecretKey(key, "right",
            crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_MIN, crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_MIN));
        QCOMPARE(openSecretKey(*readSecretKey(sealed), "right")->key, key.key);
        QCOMPARE(openSecretKey(*readSecretKey(sealed), "wrong").error().description, std::string("wrong password"));
        // A damaged unencrypted key is refused, never used.
        SecretKeyFile damaged = *readSecretKey(minisignSecretKey);
        damaged.sealed[20] ^= 1;
        QCOMPARE(openSecretKey(damaged, "").error().description,
            std::string("its checksum does not match: the key is damaged"));
        // Limits no minisign key asks for are refused before any work.
        SecretKeyFile greedy = sealSecretKey(key, "right", crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_MIN,
            crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_MIN);
        greedy.memLimit = std::uint64_t { 1 } << 40;
        QCOMPARE(openSecretKey(greedy, "right").error().description,
            std::string("its password takes more work to check than any minisign key asks for"));
    }

    void readsTrustedKeyFiles()
    {
        const std::vector<KeyFileText> files { { "/etc/deptest/trusted/a.pub", minisignPublicKey },
            { "/etc/deptest/trusted/notes.pub", "hello\n" } };
        QCOMPARE(readTrustedKeys(std::span(files).first(1))->size(), std::size_t { 1 });
        QCOMPARE(readTrustedKeys(files).error().description,
            std::string("/etc/deptest/trusted/notes.pub: not a minisign public key (an untrusted comment and one "
                        "line of base64)"));
    }

    // Where minisign is installed: it checks what this program signs, with
    // keys of either's making, and this program checks what it signs.
    void agreesWithMinisign()
    {
        const QString minisign = QStandardPaths::findExecutable(QStringLiteral("minisign"));
        if (minisign.isEmpty())
            QSKIP("minisign is not installed");
        QTemporaryDir dir;
        const auto run = [&](const QStringList& arguments, const QByteArray& input = {}) {
            QProcess process;
            process.setWorkingDirectory(dir.path());
            process.start(minisign, arguments);
            process.write(input);
            process.closeWriteChannel();
            process.waitForFinished(60000);
            return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        };
        writeFile(dir.filePath("list.txt"), "\"a.so\",\"100\",\"1 May 2026\"\n");
        const std::string list = readFile(dir.filePath("list.txt"));

        // Its encrypted key: it signs, this program checks, with the
        // trusted comment it was given.
        QVERIFY(run({ "-G", "-p", "m.pub", "-s", "m.key" }, "pw\npw\n"));
        QVERIFY(run({ "-S", "-s", "m.key", "-m", "list.txt", "-t", "from minisign" }, "pw\n"));
        const std::vector<TrustedKey> theirs { { "m.pub", *readPublicKey(readFile(dir.filePath("m.pub"))) } };
        const Result<SignedBy> checked = checkList(list, readFile(dir.filePath("list.txt.minisig")), theirs);
        QVERIFY(checked);
        QCOMPARE(checked->trustedComment, std::string("from minisign"));
        // Its key opened here with the password signs what it then checks.
        const Result<SecretKey> opened = openSecretKey(*readSecretKey(readFile(dir.filePath("m.key"))), "pw");
        QVERIFY(opened);
        writeFile(dir.filePath("list.txt.minisig"), signatureText(sign(*opened, list, "from deptest", "x")));
        QVERIFY(run({ "-V", "-p", "m.pub", "-m", "list.txt" }));

        // Keys of this program's making, with and without a password.
        const SecretKey ours = newSecretKey();
        writeFile(dir.filePath("o.pub"), publicKeyText(publicKeyOf(ours)));
        writeFile(dir.filePath("o.key"), secretKeyText(sealSecretKey(ours, "pw", 1 << 20, 1 << 24)));
        writeFile(dir.filePath("plain.key"), secretKeyText(sealSecretKey(ours, "", 0, 0)));
        QVERIFY(run({ "-S", "-s", "o.key", "-m", "list.txt" }, "pw\n"));
        QVERIFY(run({ "-V", "-p", "o.pub", "-m", "list.txt" }));
        QVERIFY(run({ "-S", "-W", "-s", "plain.key", "-m", "list.txt" })
            || run({ "-S", "-s", "plain.key", "-m", "list.txt" }));
        QVERIFY(run({ "-V", "-p", "o.pub", "-m", "list.txt" }));
        // A list edited after signing fails minisign's check too.
        writeFile(dir.filePath("list.txt"), "\"a.so\",\"101\",\"1 May 2026\"\n");
        QVERIFY(!run({ "-V", "-p", "o.pub", "-m", "list.txt" }));
    }
};

QTEST_GUILESS_MAIN(tst_Signing)
#include "tst_signing.moc"
