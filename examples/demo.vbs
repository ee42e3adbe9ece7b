' A walk through orvocrypto from VBScript: run with cscript after registering
' orvoblob.dll and orvocrypto.dll (regsvr32). Prints what each step gives.
Option Explicit

Function TextBlob(text)
  Dim b : Set b = CreateObject("Quelvar.OrvoBlob")
  b.Text = text
  Set TextBlob = b
End Function

Sub Show(label, value)
  WScript.Echo Left(label & Space(36), 36) & " " & value
End Sub

WScript.Echo "== Keys from seeds, sealing and opening"
Dim seed : Set seed = TextBlob("correct horse battery staple")
Dim message : Set message = TextBlob("Meet me at the usual place at ten.")
Dim progIds : progIds = Array("Quelvar.OrvoCryptoAES", "Quelvar.OrvoCryptoTwofish", "Quelvar.OrvoCryptoBlowfish")
Dim progId, sealer, opener, mode, sealed
Dim modeNames : modeNames = Array("", "ECB", "CBC")
For Each progId In progIds
  Set sealer = CreateObject(progId)
  sealer.KeyGen seed, 32
  Show progId & " key blob", sealer.Key.Hex
  For mode = 1 To 2
    Set sealer = CreateObject(progId)
    sealer.KeyGen seed, 32
    sealer.Mode = mode
    Set opener = CreateObject(progId)
    opener.Key = sealer.Key
    opener.Mode = mode
    Set sealed = sealer.Encrypt(message)
    Show "  " & modeNames(mode) & " sealed", sealed.Hex
    Show "  " & modeNames(mode) & " opened", opener.Decrypt(sealed).Text
  Next
Next

WScript.Echo ""
WScript.Echo "== RSA from two seeds (1024-bit modulus)"
Dim rsa : Set rsa = CreateObject("Quelvar.OrvoCryptoRSA")
rsa.KeyGen TextBlob("first seed"), TextBlob("second seed"), 128
Show "public key blob (bytes)", rsa.PublicKey.Size
Show "public key blob (start)", Left(rsa.PublicKey.Hex, 48) & "..."
Show "private key blob (bytes)", rsa.PrivateKey.Size
Dim receiver : Set receiver = CreateObject("Quelvar.OrvoCryptoRSA")
receiver.PrivateKey = rsa.PrivateKey
Dim envelope : Set envelope = rsa.Encrypt(message)
Show "encrypted (bytes)", envelope.Size
Show "decrypted by the key holder", receiver.Decrypt(envelope).Text
Dim signature : Set signature = receiver.Sign(message)
Show "signature (bytes)", signature.Size
Show "verified", rsa.Verify(message, signature)
Show "verified against other data", rsa.Verify(TextBlob("something else"), signature)

WScript.Echo ""
WScript.Echo "== Digests, checksum, random bytes"
Dim misc : Set misc = CreateObject("Quelvar.OrvoCryptoMisc")
Show "MD5", misc.MD5(message).Hex
Show "SHA1", misc.SHA1(message).Hex
Show "CRC32", Hex(misc.CRC32(message))
Show "Random(16)", misc.Random(16).Hex

WScript.Echo ""
WScript.Echo "== Packing a record"
Dim record : Set record = CreateObject("Quelvar.OrvoBlob")
misc.InsertLongToBlob record, 0, 2026
misc.InsertBlobToBlob record, record.Size, TextBlob("name")
misc.InsertBlobToBlob record, record.Size, TextBlob("value")
Show "record", record.Hex
Show "number", misc.ExtractLongFromBlob(record, 0)
Show "first field", misc.ExtractBlobFromBlob(record, 0).Text
Show "second field", misc.ExtractBlobFromBlob(record, 0).Text
Show "left over (bytes)", record.Size

WScript.Echo ""
WScript.Echo "== A failure as a script sees it"
Dim aes : Set aes = CreateObject("Quelvar.OrvoCryptoAES")
On Error Resume Next
Dim refused : Set refused = aes.Encrypt(message)
Show "Err.Number", Err.Number & " (&H" & Hex(Err.Number) & ")"
Show "Err.Source", Replace(Err.Source, vbLf, " | ")
Show "Err.Description", Replace(Replace(Err.Description, vbCrLf, ""), vbLf, " | ")
Err.Clear
On Error GoTo 0
WScript.Echo "DONE"
