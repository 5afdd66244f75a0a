#include "support/TestCertificates.h"

#include <cstdlib>
#include <fstream>

#include "support/TestEnvironment.h"

namespace velto::test {

namespace {

// `openssl ca` rather than `openssl x509 -req`: only it can date a
// certificate in the past.
constexpr const char* kScript = R"(set -e
cd "$1"
cat > ca.cnf <<'CNF'
[ca]
default_ca = own
[own]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
default_days = 30
[any]
commonName = supplied
CNF
: > index.txt
echo 1000 > serial
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }
key ca.key
openssl req -x509 -new -key ca.key -subj "/CN=Velto Test Authority" -days 30 -out ca.crt \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
leaf() {  # name subject-alt-names [ca options...]
  n=$1; san=$2; shift 2
  key $n.key
  openssl req -new -key $n.key -subj "/CN=$n.test" -addext "subjectAltName=$san" -out $n.csr
  openssl ca -batch -notext -config ca.cnf -cert ca.crt -keyfile ca.key -in $n.csr -out $n.crt "$@" 2>/dev/null
}
leaf good "IP:127.0.0.1,DNS:localhost"
leaf expired "IP:127.0.0.1,DNS:localhost" -startdate 20200101000000Z -enddate 20200201000000Z
leaf other "DNS:mail.elsewhere.test"
for n in self self2; do
  key $n.key
  openssl req -x509 -new -key $n.key -subj "/CN=$n.test" -days 30 -out $n.crt \
    -addext "subjectAltName=IP:127.0.0.1,DNS:localhost"
done
)";

TestCertificates Make() {
    TestCertificates c;
    const std::string dir = MakeTempDir("velto-certs");
    {
        std::ofstream(dir + "/make.sh") << kScript;
    }
    const std::string command = "/bin/sh " + dir + "/make.sh " + dir + " >" + dir + "/make.log 2>&1";
    if (std::system(command.c_str()) != 0) {
        c.error = "openssl could not make the test certificates:\n" + ReadFile(dir + "/make.log");
        return c;
    }
    auto pair = [&](const std::string& n) { return CertificatePair{dir + "/" + n + ".crt", dir + "/" + n + ".key"}; };
    c.authority = dir + "/ca.crt";
    c.good = pair("good");
    c.expired = pair("expired");
    c.otherName = pair("other");
    c.selfSigned = pair("self");
    c.selfSignedAgain = pair("self2");
    return c;
}

}  // namespace

const TestCertificates& TestCertificates::Get() {
    static const TestCertificates certificates = Make();
    return certificates;
}

}  // namespace velto::test
