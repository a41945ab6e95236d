// Records as the ZIP application note lays them out; zlib compresses and
// computes CRCs here only as a reference, the cipher is written out anew.
#include "zipwriter.h"

#include <zlib.h>

#include <stdexcept>

namespace {

void Put16(Bytes &b, unsigned v)
{
    b.push_back((unsigned char)v);
    b.push_back((unsigned char)(v >> 8));
}

void Put32(Bytes &b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void Append(Bytes &b, const Bytes &more)
{
    b.insert(b.end(), more.begin(), more.end());
}

void Append(Bytes &b, const std::string &more)
{
    b.insert(b.end(), more.begin(), more.end());
}

// The traditional PKWARE cipher, for making encrypted entries.
struct Cipher {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    const z_crc_t *table = get_crc_table();

    explicit Cipher(const char *password)
    {
        for (const unsigned char *p = (const unsigned char *)password; *p; p++)
            Update(*p);
    }
    void Update(unsigned char c)
    {
        k0 = (uint32_t)table[(k0 ^ c) & 0xFF] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = (uint32_t)table[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
    }
    unsigned char Encrypt(unsigned char plain)
    {
        unsigned t = (k2 & 0xFFFF) | 2;
        unsigned char c = (unsigned char)(plain ^ ((t * (t ^ 1)) >> 8));
        Update(plain);
        return c;
    }
};

Bytes Encrypt(const ZipEntry &e, uint32_t crc, const Bytes &plain)
{
    Cipher cipher(e.password);
    Bytes out;
    for (int i = 0; i < 11; i++)
        out.push_back(cipher.Encrypt((unsigned char)(i * 37 + 11)));
    unsigned char check = e.descriptor != Descriptor::None ? (unsigned char)(e.time >> 8)
                                                           : (unsigned char)(crc >> 24);
    out.push_back(cipher.Encrypt(check));
    for (unsigned char c : plain)
        out.push_back(cipher.Encrypt(c));
    return out;
}

}  // namespace

Bytes ToBytes(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

uint32_t Crc32(const Bytes &data)
{
    return (uint32_t)crc32(0, data.data(), (uInt)data.size());
}

Bytes Deflate(const Bytes &data, int level)
{
    z_stream z = {};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&z, (uLong)data.size()) + 16);
    z.next_in = const_cast<unsigned char *>(data.data());
    z.avail_in = (uInt)data.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

ZipWriter &ZipWriter::Add(const ZipEntry &e)
{
    uint32_t crc = e.crc.value_or(Crc32(e.data));
    Bytes stored = e.payload ? *e.payload : e.method == 8 ? Deflate(e.data) : e.data;
    if (e.password)
        stored = Encrypt(e, crc, stored);
    uint16_t flags = (uint16_t)((e.password ? 1 : 0) | (e.descriptor != Descriptor::None ? 8 : 0));
    uint32_t csize = e.compressedSize.value_or((uint32_t)stored.size());
    uint32_t usize = e.uncompressedSize.value_or((uint32_t)e.data.size());
    uint32_t offset = (uint32_t)bytes.size();

    Bytes fields;   // from the version needed to the compressed size
    Put16(fields, 20);
    Put16(fields, flags);
    Put16(fields, e.method);
    Put16(fields, e.time);
    Put16(fields, e.date);
    Put32(bytes, 0x04034b50);
    Append(bytes, fields);
    Put32(bytes, e.streamed ? 0 : crc);
    Put32(bytes, e.streamed ? 0 : csize);
    Put32(bytes, usize);
    Put16(bytes, (unsigned)e.name.size());
    Put16(bytes, (unsigned)e.extra.size());
    Append(bytes, e.name);
    Append(bytes, e.extra);
    Append(bytes, stored);
    if (e.descriptor == Descriptor::Signed)
        Put32(bytes, 0x08074b50);
    if (e.descriptor != Descriptor::None) {
        Put32(bytes, Crc32(e.data));
        Put32(bytes, (uint32_t)stored.size());
        Put32(bytes, (uint32_t)e.data.size());
    }

    Put32(central, 0x02014b50);
    Put16(central, 20);
    Append(central, fields);
    Put32(central, Crc32(e.data));
    Put32(central, (uint32_t)stored.size());
    Put32(central, (uint32_t)e.data.size());
    const std::string &centralName = e.centralName.value_or(e.name);
    Put16(central, (unsigned)centralName.size());
    Put16(central, 0);    // extra
    Put16(central, 0);    // comment
    Put16(central, 0);    // disk
    Put16(central, 0);    // internal attributes
    Put32(central, 0);    // external attributes
    Put32(central, offset);
    Append(central, centralName);
    count++;
    return *this;
}

ZipWriter &ZipWriter::Raw(const Bytes &junk)
{
    Append(bytes, junk);
    return *this;
}

Bytes ZipWriter::Finish(const std::string &comment)
{
    Bytes out = bytes;
    uint32_t at = (uint32_t)out.size();
    Append(out, central);
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, count);
    Put16(out, count);
    Put32(out, (uint32_t)central.size());
    Put32(out, at);
    Put16(out, (unsigned)comment.size());
    Append(out, comment);
    return out;
}

ZipEntry Entry(const std::string &name, const Bytes &data, uint16_t method)
{
    ZipEntry e;
    e.name = name;
    e.data = data;
    e.method = method;
    return e;
}
