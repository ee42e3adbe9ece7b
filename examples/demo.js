// A walk through orvocrypto from JScript: run with cscript after registering
// orvoblob.dll and orvocrypto.dll (regsvr32).
function textBlob(text) {
  var b = new ActiveXObject("Quelvar.OrvoBlob");
  b.Text = text;
  return b;
}
function show(label, value) {
  while (label.length < 34) label += " ";
  WScript.Echo(label + value);
}

var misc = new ActiveXObject("Quelvar.OrvoCryptoMisc");
var seed = misc.Random(32);
show("random seed", seed.Hex);

WScript.Echo("== A Twofish key made from the random seed, kept as Base64");
var twofish = new ActiveXObject("Quelvar.OrvoCryptoTwofish");
twofish.KeyGen(seed, 32);
var stored = twofish.Key.Base64;
show("key blob (Base64)", stored);
var restored = new ActiveXObject("Quelvar.OrvoCryptoTwofish");
var keyBlob = new ActiveXObject("Quelvar.OrvoBlob");
keyBlob.Base64 = stored;
restored.Key = keyBlob;
twofish.Mode = 2;
restored.Mode = 2;
var sealed = twofish.Encrypt(textBlob("JScript says hello"));
show("sealed (CBC)", sealed.Hex);
show("opened by the restored key", restored.Decrypt(sealed).Text);

WScript.Echo("== RSA signature");
var rsa = new ActiveXObject("Quelvar.OrvoCryptoRSA");
rsa.KeyGen(textBlob("jscript seed one"), textBlob("jscript seed two"), 64);
var signature = rsa.Sign(textBlob("contract text"));
show("signature", signature.Hex);
show("verified", rsa.Verify(textBlob("contract text"), signature));

WScript.Echo("== A failure as a script sees it");
try {
  new ActiveXObject("Quelvar.OrvoCryptoBlowfish").Decrypt(textBlob("odd"));
} catch (e) {
  show("e.number", "0x" + (e.number >>> 0).toString(16));
  show("e.description", e.description.replace(/\r?\n/g, " | "));
}
WScript.Echo("DONE");
