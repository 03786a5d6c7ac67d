#include "signature.h"

#include <wincrypt.h>
#include <wintrust.h>

#include <memory>

namespace signature {

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const WORD kReservePresent = 0x0004;
// The Authenticode reserve in a cabinet's header: 20 bytes at 40, of
// which the signature's file offset is at 44 and its size at 48.
const DWORD kReserveSize = 20;
const DWORD kSignatureAtField = 44;
const DWORD kSignatureSizeField = 48;

DWORD Number(const std::vector<BYTE>& bytes, size_t at, size_t size)
{
    DWORD value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= static_cast<DWORD>(bytes[at + i]) << (8 * i);
    return value;
}

// The cabinet's digest as its signer computed it: the header without the
// fields a signature changes (bytes 4-7 and the reserve's 34-55), then
// everything up to the signature.
bool Digest(const std::vector<BYTE>& cabinet, DWORD signatureAt, ALG_ID algorithm,
            std::vector<BYTE>* digest)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool ok = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES,
                                   CRYPT_VERIFYCONTEXT) &&
              CryptCreateHash(provider, algorithm, 0, 0, &hash) &&
              CryptHashData(hash, cabinet.data(), 4, 0) &&
              CryptHashData(hash, cabinet.data() + 8, 26, 0) &&
              CryptHashData(hash, cabinet.data() + 56, signatureAt - 56, 0);
    DWORD size = 0, sizeSize = sizeof size;
    ok = ok && CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeSize, 0);
    if (ok) {
        digest->resize(size);
        ok = CryptGetHashParam(hash, HP_HASHVAL, digest->data(), &size, 0);
    }
    if (hash)
        CryptDestroyHash(hash);
    if (provider)
        CryptReleaseContext(provider, 0);
    return ok;
}

struct MessageCloser {
    void operator()(void* message) const { CryptMsgClose(message); }
};
struct StoreCloser {
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
struct CertificateFreer {
    void operator()(const CERT_CONTEXT* certificate) const
    {
        CertFreeCertificateContext(certificate);
    }
};
using Message = std::unique_ptr<void, MessageCloser>;
using Store = std::unique_ptr<void, StoreCloser>;
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

std::vector<BYTE> Param(HCRYPTMSG message, DWORD type)
{
    DWORD size = 0;
    if (!CryptMsgGetParam(message, type, 0, nullptr, &size))
        return {};
    std::vector<BYTE> bytes(size);
    if (!CryptMsgGetParam(message, type, 0, bytes.data(), &size))
        return {};
    bytes.resize(size);
    return bytes;
}

// The digest the signed content says the cabinet has, and its algorithm.
bool SignedDigest(HCRYPTMSG message, std::vector<BYTE>* digest, ALG_ID* algorithm)
{
    std::vector<BYTE> content = Param(message, CMSG_CONTENT_PARAM);
    DWORD size = 0;
    SPC_INDIRECT_DATA_CONTENT* indirect = nullptr;
    if (content.empty() ||
        !CryptDecodeObjectEx(X509_ASN_ENCODING, SPC_INDIRECT_DATA_CONTENT_STRUCT, content.data(),
                             static_cast<DWORD>(content.size()), CRYPT_DECODE_ALLOC_FLAG,
                             nullptr, &indirect, &size))
        return false;
    const CRYPT_HASH_BLOB& hash = indirect->Digest;
    digest->assign(hash.pbData, hash.pbData + hash.cbData);
    *algorithm = CertOIDToAlgId(indirect->DigestAlgorithm.pszObjId);
    LocalFree(indirect);
    return *algorithm != 0;
}

bool InSpcStore(const CERT_CONTEXT* root)
{
    Store spc(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                            CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"SPC"));
    if (!spc)
        return false;
    Certificate found(CertFindCertificateInStore(spc.get(), X509_ASN_ENCODING, 0,
                                                 CERT_FIND_EXISTING, root, nullptr));
    return found != nullptr;
}

// The last certificate of the signer's chain, the message's certificates
// helping to build it.
Certificate RootOf(const CERT_CONTEXT* signer, HCERTSTORE certificates)
{
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    const CERT_CHAIN_CONTEXT* chain = nullptr;
    if (!CertGetCertificateChain(nullptr, signer, nullptr, certificates, &parameters, 0, nullptr,
                                 &chain))
        return nullptr;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    Certificate root(
        CertDuplicateCertificateContext(simple->rgpElement[simple->cElement - 1]->pCertContext));
    CertFreeCertificateChain(chain);
    return root;
}

}

bool CountsAsSigned(const std::vector<BYTE>& cabinet, std::string* why)
{
    if (cabinet.size() < 60 || !(Number(cabinet, 30, 2) & kReservePresent) ||
        Number(cabinet, 36, 2) != kReserveSize) {
        *why = "it is not signed";
        return false;
    }
    DWORD at = Number(cabinet, kSignatureAtField, 4);
    DWORD size = Number(cabinet, kSignatureSizeField, 4);
    if (at < 60 || at > cabinet.size() || size > cabinet.size() - at) {
        *why = "its signature lies outside it";
        return false;
    }
    Message message(CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (!message || !CryptMsgUpdate(message.get(), cabinet.data() + at, size, TRUE)) {
        *why = "its signature is no signature";
        return false;
    }
    std::vector<BYTE> signedDigest, digest;
    ALG_ID algorithm = 0;
    if (!SignedDigest(message.get(), &signedDigest, &algorithm) ||
        !Digest(cabinet, at, algorithm, &digest) || digest != signedDigest) {
        *why = "its signature does not verify: the cabinet is not what was signed";
        return false;
    }
    std::vector<BYTE> signerInfo = Param(message.get(), CMSG_SIGNER_CERT_INFO_PARAM);
    Store certificates(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
    Certificate signer(signerInfo.empty() || !certificates
                           ? nullptr
                           : CertGetSubjectCertificateFromStore(
                                 certificates.get(), kEncoding,
                                 reinterpret_cast<CERT_INFO*>(signerInfo.data())));
    if (!signer || !CryptMsgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE,
                                    signer->pCertInfo)) {
        *why = "its signature does not verify: the signer's signature is wrong";
        return false;
    }
    Certificate root = RootOf(signer.get(), certificates.get());
    if (!root || !InSpcStore(root.get())) {
        *why = "its signature chains to no root in the device's Software Publisher "
               "Certificate store";
        return false;
    }
    return true;
}

bool UnsignedAccepted()
{
    DWORD policy = 0x10, size = sizeof policy;
    RegGetValueW(HKEY_LOCAL_MACHINE, L"Security\\Policies\\Policies", L"00001005", RRF_RT_DWORD,
                 nullptr, &policy, &size);
    return policy != 0;
}

}
