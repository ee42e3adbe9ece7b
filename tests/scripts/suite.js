// The JScript suite: every class and member as a script writer uses them.
// Run by cscript under Wine (run_script.sh); the body is wrapped in try/catch
// and the suite ends with a DONE line and quits with its failure count.
var failures = 0;
var section = "";
// The first line out: the harness tells a host that never ran the script from one that died in it.
WScript.Echo("START");
var E_FAIL = 0x80004005;
var E_INVALIDARG = 0x80070057;
var NO_BLOB = "Internal error: can't get source OrvoBlob COM interface";

function fail(what) {
  failures++;
  WScript.Echo("FAIL [" + section + "] " + what);
}
function checkEq(actual, expected, what) {
  if (String(actual) !== String(expected)) fail(what + ": got " + actual + ", expected " + expected);
}
function check(cond, what) {
  if (!cond) fail(what);
}
function newBlob(hex) {
  var b = new ActiveXObject("Quelvar.OrvoBlob");
  b.Hex = hex;
  return b;
}
function textBlob(text) {
  var b = new ActiveXObject("Quelvar.OrvoBlob");
  b.Text = text;
  return b;
}
// Runs f, which must fail with `number` and a description containing
// "\nDescription:" + part (when part is given).
function expectError(f, number, part, what) {
  try {
    f();
  } catch (e) {
    if (number) checkEq((e.number >>> 0).toString(16), number.toString(16), what + " (number)");
    if (part) check(e.description.indexOf("\nDescription:" + part) >= 0, what + ": description '" + e.description + "'");
    return;
  }
  fail(what + ": no error raised");
}
function repeat(text, n) {
  var s = "";
  for (var i = 0; i < n; i++) s += text;
  return s;
}

try {
  // -------------------------------------------------------------- Blob
  section = "Blob";
  var blob = new ActiveXObject("Quelvar.OrvoBlob");
  checkEq(blob.Size, 0, "new Blob is empty");
  blob.Text = "f\u00fcr";
  checkEq(blob.Hex, "66C3BC72", "Text is stored as UTF-8");
  checkEq(blob.Text, "f\u00fcr", "Text round trip");
  blob.Base64 = "Zm9vYmE=";
  checkEq(blob.Text, "fooba", "Base64 put (RFC 4648)");
  checkEq(blob.Base64, "Zm9vYmE=", "Base64 get");
  expectError(function () { blob.Hex = "0G"; }, 0, "", "bad hexadecimal text");

  // -------------------------------------------------------------- Misc
  section = "Misc";
  var misc = new ActiveXObject("Quelvar.OrvoCryptoMisc");
  checkEq(misc.SHA1(textBlob("abc")).Hex, "A9993E364706816ABA3E25717850C26C9CD0D89D", "SHA1 of abc");
  checkEq(misc.CRC32(textBlob("123456789")), 3421780262, "CRC32 check value as a number");
  var packed = newBlob("");
  misc.InsertLongToBlob(packed, 0, 0x01020304);
  checkEq(packed.Hex, "01020304", "InsertLongToBlob into an empty Blob");
  checkEq(misc.ExtractLongFromBlob(packed, 0), 0x01020304, "ExtractLongFromBlob");
  expectError(function () { misc.InsertLongToBlob(packed, 5, 1); }, E_INVALIDARG, "", "position past the end");
  expectError(function () { misc.ExtractBlobFromBlob(packed, 0); }, E_FAIL, "Crypto System: Data is corrupted - XBlob",
              "record at the end");
  expectError(function () { misc.MD5(misc); }, E_FAIL, NO_BLOB, "MD5 of a non-Blob object");
  expectError(function () { misc.MD5(null); }, E_FAIL, NO_BLOB, "MD5 of null");
  expectError(function () { misc.CRC32(undefined); }, E_FAIL, NO_BLOB, "CRC32 of undefined");

  // -------------------------------------------------------------- symmetric
  var ciphers = [
    ["Quelvar.OrvoCryptoAES", "AES", 16],
    ["Quelvar.OrvoCryptoTwofish", "Twofish", 16],
    ["Quelvar.OrvoCryptoBlowfish", "Blowfish", 8]
  ];
  for (var i = 0; i < ciphers.length; i++) {
    var progId = ciphers[i][0], name = ciphers[i][1], bs = ciphers[i][2];
    section = progId;
    var c = new ActiveXObject(progId);
    expectError(function () { return c.Key; }, E_FAIL, "Crypto System: Invalid key - " + name, "Key without a key");
    c.KeyGen(textBlob("jscript seed"), 16);
    var other = new ActiveXObject(progId);
    other.Key = c.Key;  // JScript puts with PROPERTYPUT|PROPERTYPUTREF
    checkEq(other.Key.Hex, c.Key.Hex, "key blob handed to another object");
    var plain = textBlob("sealed by one object, opened by another");
    var sealed = c.Encrypt(plain);
    checkEq(sealed.Size % bs, 0, "whole blocks");
    var opened = other.Decrypt(sealed);
    checkEq(opened.Hex.substr(0, plain.Hex.length), plain.Hex, "opened by another object");
    checkEq(opened.Hex.substr(plain.Hex.length), repeat("00", opened.Size - plain.Size), "zero filler kept");
    c.Mode = 2;
    other.Mode = 2;
    checkEq(other.Decrypt(c.Encrypt(plain)).Size, sealed.Size, "CBC after ECB on both objects");
    expectError(function () { c.Decrypt(newBlob("00")); }, E_FAIL, "Crypto System: Unable to decrypt data", "one byte");
  }

  // -------------------------------------------------------------- RSA
  section = "RSA";
  var a = new ActiveXObject("Quelvar.OrvoCryptoRSA");
  var b = new ActiveXObject("Quelvar.OrvoCryptoRSA");
  a.KeyGen(textBlob("same seed"), textBlob("same seed"), 128);
  b.KeyGen(textBlob("same seed"), textBlob("same seed"), 128);
  checkEq(a.PublicKey.Hex, b.PublicKey.Hex, "same seeds, same public key");
  checkEq(a.PrivateKey.Hex, b.PrivateKey.Hex, "same seeds, same private key");
  var data = textBlob(repeat("long message ", 20));
  checkEq(b.Decrypt(a.Encrypt(data)).Text, data.Text, "sealed by one object, opened by another");
  checkEq(b.Verify(data, a.Sign(data)), 1, "signed by one, verified by another");
  expectError(function () { a.Decrypt(newBlob("00112233445566778899")); }, E_FAIL,
              "Crypto System: Unable to decrypt data - RSA", "10 bytes");
  expectError(function () { a.KeyGen(textBlob("x"), misc, 64); }, E_FAIL, NO_BLOB, "KeyGen with a non-Blob seed");
  expectError(function () { a.Verify(data, null); }, E_FAIL, NO_BLOB, "Verify with a null signature");
  expectError(function () { a.PublicKey = null; }, E_FAIL, NO_BLOB, "PublicKey = null");
  checkEq(a.PublicKey.Hex, b.PublicKey.Hex, "the key after the refused puts");
} catch (e) {
  fail("uncaught error " + (e.number >>> 0).toString(16) + ": " + e.description);
}

WScript.Echo("DONE " + failures + " failure(s)");
WScript.Quit(failures);
