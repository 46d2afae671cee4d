// The library's container functions: listing, creating and deleting containers, reading their certificates and
// keys, and importing certificates with their keys into them.
#include "tokenlib/ContainerStore.h"
#include "tokenlib/KeyTemplates.h"
#include "tokenlib/LibraryState.h"

#include <openssl/x509.h>

#include <algorithm>
#include <cstring>

using namespace zv;

namespace {

// Runs a read on the token's snapshot; a miss on an old snapshot reads the token afresh once, in case another
// program changed it since.
template <typename Read> int32_t withSnapshot(ConnectedToken& token, Read&& read) {
    const bool hadSnapshot = token.snapshot.has_value();
    const int32_t rv = read();
    if (!hadSnapshot ||
        (rv != ZV_ERR_NO_OBJECT && rv != ZV_ERR_NO_CONTAINER && rv != int32_t(CKR_OBJECT_HANDLE_INVALID)))
        return rv;
    token.snapshot.reset();
    return read();
}

bool validUsage(int32_t usage) {
    return usage == KeyExchange || usage == Signature;
}

// Every write into containers needs the user logged in; the program asks for the PIN again on that code.
int32_t requireUser(LibraryState& state, const ConnectedToken& token) {
    CK_SESSION_INFO session;
    if (const CK_RV rv = state.module->functions()->C_GetSessionInfo(token.session, &session); rv != CKR_OK)
        return int32_t(rv);
    return session.state == CKS_RW_USER_FUNCTIONS || session.state == CKS_RO_USER_FUNCTIONS ? ZV_OK
                                                                                            : ZV_ERR_NOT_LOGGED_IN;
}

// The codes of a write that the program tells apart: no login, no room.
int32_t writeResult(CK_RV rv) {
    if (rv == CKR_USER_NOT_LOGGED_IN)
        return ZV_ERR_NOT_LOGGED_IN;
    if (rv == CKR_DEVICE_MEMORY)
        return ZV_ERR_NO_ROOM;
    return int32_t(rv);
}

// The objects of one class and usage in a container; ZV_ERR_NO_OBJECT when there is none.
int32_t objectsIn(ContainerStore& containers, const char* name, int32_t usage, CK_OBJECT_CLASS objectClass,
                  std::vector<CK_OBJECT_HANDLE>& found) {
    Container container;
    if (const CK_RV rv = containers.find(name, container); rv != CKR_OK)
        return int32_t(rv);
    if (const CK_RV rv = containers.objectsOf(container, usage, objectClass, found); rv != CKR_OK)
        return int32_t(rv);
    return found.empty() ? ZV_ERR_NO_OBJECT : ZV_OK;
}

int32_t firstObject(ContainerStore& containers, const char* name, int32_t usage, CK_OBJECT_CLASS objectClass,
                    CK_OBJECT_HANDLE& object) {
    std::vector<CK_OBJECT_HANDLE> found;
    const int32_t rv = objectsIn(containers, name, usage, objectClass, found);
    if (rv == ZV_OK)
        object = found.front();
    return rv;
}

int32_t copyOut(const Bytes& value, uint8_t* buffer, int32_t* length) {
    if (size_t(*length) < value.size()) {
        *length = int32_t(value.size());
        return ZV_ERR_BUFFER_TOO_SMALL;
    }
    if (!value.empty())
        std::memcpy(buffer, value.data(), value.size());
    *length = int32_t(value.size());
    return ZV_OK;
}

Bytes subjectOf(const Bytes& der) {
    const unsigned char* cursor = der.data();
    X509* certificate = d2i_X509(nullptr, &cursor, long(der.size()));
    if (!certificate)
        return {};
    const int length = i2d_X509_NAME(X509_get_subject_name(certificate), nullptr);
    Bytes subject(size_t(std::max(length, 0)));
    unsigned char* out = subject.data();
    i2d_X509_NAME(X509_get_subject_name(certificate), &out);
    X509_free(certificate);
    return subject;
}

// Writes a certificate (with its key pair when it has one) into the usage of a container, replacing what the
// usage held. Every object is created before the old ones go, and a failure removes what was created, so the
// token holds either the old pair or the new one.
int32_t importInto(LibraryState& state, ConnectedToken& token, const char* containerName, int32_t usage,
                   const FileCertificate& certificate) {
    if (!containerName || !validUsage(usage))
        return ZV_ERR_ARGUMENTS;
    if (certificate.der.size() > MaximumCertificateBytes)
        return ZV_ERR_CERT_TOO_LARGE;
    if (const int32_t rv = requireUser(state, token); rv != ZV_OK)
        return rv;
    token.snapshot.reset(); // the import changes the token
    ObjectAccess objects = objectsOf(state, token);
    ContainerStore containers(objects);
    if (const int32_t rv = ContainerStore::checkName(containerName); rv != ZV_OK)
        return rv;
    const Bytes id = certificate.key ? keyId(certificate.key.get()) : certificateKeyId(certificate.der);
    if (id.empty())
        return ZV_ERR_CERT_INVALID;
    // Objects are found by their CKA_ID: two containers naming one pair would share it, and a deletion in one
    // would empty the other. Refused before anything is written, a new container included.
    bool elsewhere = false;
    CK_RV rv = containers.namedElsewhere(id, containerName, elsewhere);
    if (rv != CKR_OK)
        return int32_t(rv);
    if (elsewhere)
        return ZV_ERR_KEY_IN_OTHER_CONTAINER;
    Container container;
    rv = containers.find(containerName, container);
    if (rv == ZV_ERR_NO_CONTAINER)
        rv = containers.create(containerName, container);
    if (rv != CKR_OK)
        return writeResult(rv);
    const int other = usage == KeyExchange ? Signature : KeyExchange;
    if (container.id(other) == id)
        return ZV_ERR_KEY_IN_CONTAINER;

    // A certificate alone replaces only the certificate: it joins the keys already there, which must be its own.
    std::vector<CK_OBJECT_HANDLE> replaced;
    for (CK_OBJECT_CLASS objectClass : {CKO_CERTIFICATE, CKO_PUBLIC_KEY, CKO_PRIVATE_KEY}) {
        std::vector<CK_OBJECT_HANDLE> found;
        if ((rv = containers.objectsOf(container, usage, objectClass, found)) != CKR_OK)
            return int32_t(rv);
        if (!certificate.key && objectClass != CKO_CERTIFICATE) {
            if (!found.empty() && container.id(usage) != id)
                return ZV_ERR_KEY_MISMATCH;
            continue;
        }
        replaced.insert(replaced.end(), found.begin(), found.end());
    }

    std::vector<Template> templates(1);
    const Bytes subject = subjectOf(certificate.der);
    if (const int32_t code = certificateTemplate(certificate.der, container.name, id, templates[0]); code != ZV_OK)
        return code;
    if (certificate.key) {
        templates.resize(3);
        if (int32_t code = privateKeyTemplate(certificate.key.get(), usage, container.name, id, subject, templates[1]);
            code != ZV_OK)
            return code;
        if (int32_t code = publicKeyTemplate(certificate.key.get(), usage, container.name, id, subject, templates[2]);
            code != ZV_OK)
            return code;
    }
    std::vector<CK_OBJECT_HANDLE> created;
    for (Template& attributes : templates) {
        CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
        if ((rv = objects.create(attributes, object)) != CKR_OK) {
            for (CK_OBJECT_HANDLE undo : created)
                objects.destroy(undo);
            return writeResult(rv);
        }
        created.push_back(object);
    }
    if ((rv = containers.setId(container, usage, id)) != CKR_OK) {
        for (CK_OBJECT_HANDLE undo : created)
            objects.destroy(undo);
        return writeResult(rv);
    }
    for (CK_OBJECT_HANDLE old : replaced)
        if (std::find(created.begin(), created.end(), old) == created.end())
            objects.destroy(old);
    return ZV_OK;
}

int32_t importParsed(LibraryState& state, ConnectedToken& token, const char* containerName, int32_t usage,
                     int32_t certificateIndex) {
    if (!state.parsedFile)
        return ZV_ERR_NO_PARSED_FILE;
    if (certificateIndex < 0 || size_t(certificateIndex) >= state.parsedFile->certificates.size())
        return ZV_ERR_CERT_INDEX;
    // A certificate without its key (the CA certificates of a PKCS#12 file) goes in alone, as from an X.509 file.
    const FileCertificate& certificate = state.parsedFile->certificates[size_t(certificateIndex)];
    return importInto(state, token, containerName, usage, certificate);
}

} // namespace

ZV_EXPORT int32_t container_load_all(int32_t index, char* buffer, int32_t* length) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!buffer || !length || *length < 0)
            return ZV_ERR_ARGUMENTS;
        ObjectAccess objects = objectsOf(state, token);
        ContainerStore containers(objects, &token.snapshot);
        std::vector<Container> list;
        if (const CK_RV rv = containers.list(list); rv != CKR_OK)
            return int32_t(rv);
        std::string names;
        for (const Container& container : list) {
            names += container.name;
            names += '\0';
        }
        if (names.size() > size_t(*length)) {
            *length = int32_t(names.size());
            return ZV_ERR_BUFFER_TOO_SMALL;
        }
        std::memcpy(buffer, names.data(), names.size());
        *length = int32_t(names.size());
        return ZV_OK;
    });
}

ZV_EXPORT int32_t container_create_new(int32_t index, const char* name) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!name)
            return ZV_ERR_ARGUMENTS;
        if (const int32_t rv = requireUser(state, token); rv != ZV_OK)
            return rv;
        ObjectAccess objects = objectsOf(state, token);
        Container created;
        token.snapshot.reset();
        return writeResult(ContainerStore(objects).create(name, created));
    });
}

ZV_EXPORT int32_t container_delete(int32_t index, const char* name) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!name)
            return ZV_ERR_ARGUMENTS;
        if (const int32_t rv = requireUser(state, token); rv != ZV_OK)
            return rv;
        ObjectAccess objects = objectsOf(state, token);
        token.snapshot.reset();
        ContainerStore containers(objects);
        Container container;
        if (const CK_RV rv = containers.find(name, container); rv != CKR_OK)
            return int32_t(rv);
        return writeResult(containers.remove(container));
    });
}

ZV_EXPORT int32_t container_get_cert(int32_t index, const char* name, int32_t usage, uint8_t* certificate,
                                     int32_t* length) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!name || !certificate || !length || *length < 0 || !validUsage(usage))
            return ZV_ERR_ARGUMENTS;
        ObjectAccess objects = objectsOf(state, token);
        return withSnapshot(token, [&]() -> int32_t {
            ContainerStore containers(objects, &token.snapshot);
            CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
            if (const int32_t rv = firstObject(containers, name, usage, CKO_CERTIFICATE, object); rv != ZV_OK)
                return rv;
            const std::optional<Bytes> value = objects.attribute(object, CKA_VALUE);
            if (!value)
                return ZV_ERR_NO_OBJECT;
            return copyOut(*value, certificate, length);
        });
    });
}

ZV_EXPORT int32_t container_get_pubkey(int32_t index, const char* name, int32_t usage, int32_t* algorithm,
                                       int32_t* bits, uint8_t* key, int32_t* length) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!name || !algorithm || !bits || !key || !length || *length < 0 || !validUsage(usage))
            return ZV_ERR_ARGUMENTS;
        ObjectAccess objects = objectsOf(state, token);
        return withSnapshot(token, [&]() -> int32_t {
            ContainerStore containers(objects, &token.snapshot);
            KeyFacts facts;
            CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
            int32_t rv = firstObject(containers, name, usage, CKO_PUBLIC_KEY, object);
            if (rv == ZV_OK) {
                if (!keyFactsOfObject(objects, object, containers.keyType(object), facts))
                    return ZV_ERR_NO_OBJECT;
            } else if (rv == ZV_ERR_NO_OBJECT) {
                // Tools that write only the certificate and the private key still have the public key in the
                // certificate.
                if ((rv = firstObject(containers, name, usage, CKO_CERTIFICATE, object)) != ZV_OK)
                    return rv;
                const std::optional<Bytes> value = objects.attribute(object, CKA_VALUE);
                if (!value || !keyFactsOfCertificate(*value, facts))
                    return ZV_ERR_NO_OBJECT;
            } else {
                return rv;
            }
            *algorithm = facts.algorithm;
            *bits = facts.bits;
            return copyOut(facts.publicKeyInfo, key, length);
        });
    });
}

ZV_EXPORT int32_t container_get_prikey(int32_t index, const char* name, int32_t usage, int32_t* algorithm,
                                       int32_t* bits) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!name || !algorithm || !bits || !validUsage(usage))
            return ZV_ERR_ARGUMENTS;
        ObjectAccess objects = objectsOf(state, token);
        return withSnapshot(token, [&]() -> int32_t {
            ContainerStore containers(objects, &token.snapshot);
            CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
            if (const int32_t rv = firstObject(containers, name, usage, CKO_PRIVATE_KEY, object); rv != ZV_OK)
                return rv;
            KeyFacts facts;
            if (!keyFactsOfObject(objects, object, containers.keyType(object), facts))
                return ZV_ERR_NO_OBJECT;
            *algorithm = facts.algorithm;
            *bits = facts.bits;
            return ZV_OK;
        });
    });
}

ZV_EXPORT int32_t container_delete_cert(int32_t index, const char* name, int32_t usage) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!name || !validUsage(usage))
            return ZV_ERR_ARGUMENTS;
        if (const int32_t rv = requireUser(state, token); rv != ZV_OK)
            return rv;
        ObjectAccess objects = objectsOf(state, token);
        token.snapshot.reset();
        ContainerStore containers(objects);
        Container container;
        if (const CK_RV rv = containers.find(name, container); rv != CKR_OK)
            return int32_t(rv);
        // A certificate that another container names too stays for it.
        bool elsewhere = false;
        if (const CK_RV rv = containers.namedElsewhere(container.id(usage), container.name, elsewhere); rv != CKR_OK)
            return int32_t(rv);
        std::vector<CK_OBJECT_HANDLE> found;
        if (const int32_t rv = objectsIn(containers, name, usage, CKO_CERTIFICATE, found); rv != ZV_OK)
            return rv;
        if (elsewhere)
            return ZV_OK;
        for (CK_OBJECT_HANDLE object : found)
            if (const CK_RV rv = objects.destroy(object); rv != CKR_OK)
                return writeResult(rv);
        return ZV_OK;
    });
}

ZV_EXPORT int32_t pkcs12_import_certificate(int32_t index, const char* containerName, int32_t usage,
                                            int32_t certificateIndex) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        return importParsed(state, token, containerName, usage, certificateIndex);
    });
}

ZV_EXPORT int32_t p7b_import_certificate(int32_t index, const char* containerName, int32_t usage,
                                         int32_t certificateIndex) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        return importParsed(state, token, containerName, usage, certificateIndex);
    });
}

ZV_EXPORT int32_t x509_import_certificate(int32_t index, const char* containerName, int32_t usage, const char* path) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!path)
            return ZV_ERR_ARGUMENTS;
        CertificateFile file;
        if (const int32_t rv = CertificateFile::parseX509(path, file); rv != ZV_OK)
            return rv;
        return importInto(state, token, containerName, usage, file.certificates.front());
    });
}
