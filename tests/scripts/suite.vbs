' The VBScript suite: every class and member as a script writer uses them.
' Run by cscript under Wine (run_script.sh); cscript exits 0 even after an
' uncaught error, so the suite ends with a DONE line and quits with its
' failure count, and the harness requires both.
Option Explicit

Dim failures : failures = 0
Dim section : section = ""
' The first line out: the harness tells a host that never ran the script from one that died in it.
WScript.Echo "START"

' Each section announces itself: when a host dies in the middle (cscript prints
' nothing for an uncaught error), the last line out says where.
Sub Begin(name)
  section = name
  WScript.Echo "-- " & name
End Sub

Sub Fail(what)
  failures = failures + 1
  WScript.Echo "FAIL [" & section & "] " & what
End Sub

Sub CheckEq(actual, expected, what)
  If CStr(actual) <> CStr(expected) Then Fail what & ": got " & actual & ", expected " & expected
End Sub

Sub CheckTrue(cond, what)
  If Not cond Then Fail what
End Sub

Function NewBlob(hex)
  Dim b : Set b = CreateObject("Quelvar.OrvoBlob")
  b.Hex = hex
  Set NewBlob = b
End Function

Function TextBlob(text)
  Dim b : Set b = CreateObject("Quelvar.OrvoBlob")
  b.Text = text
  Set TextBlob = b
End Function

' Checks the error left by the last statement under On Error Resume Next:
' E_FAIL with a description that ends in the given text and a source that
' names the class's versioned ProgID.
Sub CheckError(expectedNumber, descriptionPart, progId, what)
  If Err.Number = 0 Then
    Fail what & ": no error raised"
  Else
    CheckEq Err.Number, expectedNumber, what & " (Err.Number)"
    If descriptionPart <> "" Then
      CheckTrue InStr(Err.Description, vbLf & "Description:" & descriptionPart) > 0, _
                what & ": description '" & Replace(Err.Description, vbLf, "|") & "'"
    End If
    If progId <> "" Then
      CheckTrue InStr(Err.Source, vbLf & "Source:" & progId) > 0, _
                what & ": source '" & Replace(Err.Source, vbLf, "|") & "'"
      CheckTrue InStr(Err.Source, vbLf & "Module name:") = 1, what & ": module name first in the source"
    End If
  End If
  Err.Clear
End Sub

Const E_FAIL = -2147467259
Const E_INVALIDARG = -2147024809
Const NO_BLOB = "Internal error: can't get source OrvoBlob COM interface"

' ---------------------------------------------------------------- Blob
Begin "Blob"
Dim blob : Set blob = CreateObject("Quelvar.OrvoBlob")
CheckEq blob.Size, 0, "new Blob is empty"
blob.Hex = "00 1a FF"
CheckEq blob.Hex, "001AFF", "Hex round trip, upper case"
CheckEq blob.Size, 3, "Size"
blob.Text = "foobar"
CheckEq blob.Base64, "Zm9vYmFy", "Base64 of foobar (RFC 4648)"
blob.Base64 = "Zm9vYg=="
CheckEq blob.Text, "foob", "Base64 put"
Dim copy : Set copy = CreateObject("Quelvar.OrvoBlob")
copy.Bytes = blob.Bytes
CheckEq copy.Hex, "666F6F62", "Bytes from one Blob to another"
blob.Clear
CheckEq blob.Size, 0, "Clear"
On Error Resume Next
blob.Hex = "ABC"
CheckTrue Err.Number <> 0, "odd hexadecimal text fails"
Err.Clear
blob.Hex = "zz"
CheckTrue Err.Number <> 0, "non-hexadecimal text fails"
Err.Clear
blob.Base64 = "Zm9v!"
CheckTrue Err.Number <> 0, "malformed Base64 fails"
Err.Clear
On Error GoTo 0

' ---------------------------------------------------------------- Misc
Begin "Misc"
Dim misc : Set misc = CreateObject("Quelvar.OrvoCryptoMisc")
CheckEq misc.MD5(TextBlob("abc")).Hex, "900150983CD24FB0D6963F7D28E17F72", "MD5 of abc (RFC 1321)"
CheckEq misc.SHA1(TextBlob("abc")).Hex, "A9993E364706816ABA3E25717850C26C9CD0D89D", "SHA1 of abc (FIPS 180-1)"
CheckEq misc.MD5(CreateObject("Quelvar.OrvoBlob")).Hex, "D41D8CD98F00B204E9800998ECF8427E", "MD5 of nothing"
CheckEq Hex(misc.CRC32(TextBlob("123456789"))), "CBF43926", "CRC32 check value"
CheckEq misc.CRC32(CreateObject("Quelvar.OrvoBlob")), 0, "CRC32 of nothing"
CheckEq misc.Random(17).Size, 17, "Random(17)"
CheckEq misc.Random(0).Size, 0, "Random(0)"

Dim packed : Set packed = NewBlob("0A0B")
misc.InsertLongToBlob packed, 1, &H01020304
CheckEq packed.Hex, "0A010203040B", "InsertLongToBlob at 1"
CheckEq misc.ExtractLongFromBlob(packed, 1), &H01020304, "ExtractLongFromBlob"
CheckEq packed.Hex, "0A0B", "ExtractLongFromBlob removes the bytes"
On Error Resume Next
misc.InsertLongToBlob packed, 3, 1
CheckError E_INVALIDARG, "", "", "InsertLongToBlob past the end"
misc.InsertLongToBlob packed, -1, 1
CheckError E_INVALIDARG, "", "", "InsertLongToBlob at -1"
On Error GoTo 0
CheckEq packed.Hex, "0A0B", "a refused position changes nothing"

Dim record : Set record = CreateObject("Quelvar.OrvoBlob")
misc.InsertBlobToBlob record, 0, NewBlob("AABBCC")
CheckEq record.Hex, "00000003AABBCC", "InsertBlobToBlob"
CheckEq misc.ExtractBlobFromBlob(record, 0).Hex, "AABBCC", "ExtractBlobFromBlob"
CheckEq record.Size, 0, "ExtractBlobFromBlob removes the record"
Set record = NewBlob("0A0B")
misc.InsertBlobToBlob record, 0, record
CheckEq record.Hex, "000000020A0B0A0B", "InsertBlobToBlob of a Blob into itself"
Set record = NewBlob("00000003AABB")
On Error Resume Next
Dim none : Set none = misc.ExtractBlobFromBlob(record, 0)
CheckError E_FAIL, "Crypto System: Data is corrupted - XBlob", "Quelvar.OrvoCryptoMisc.1", "overlong record"
misc.MD5 Nothing
CheckError E_FAIL, NO_BLOB, "Quelvar.OrvoCryptoMisc.1", "MD5 of Nothing"
On Error GoTo 0
CheckEq record.Hex, "00000003AABB", "a failed extraction leaves the source"

' ---------------------------------------------------------------- symmetric
' FIPS-197 C.1, the Twofish paper's first 128-bit vector, and the Blowfish
' zero-key vector, each loaded as a key blob and run through both assignment forms.
Sub SymmetricKnownAnswer(progId, keyBlobHex, plainHex, cipherHex)
  Begin progId
  Dim c : Set c = CreateObject(progId)
  CheckEq c.Mode, 1, "new object in ECB"
  CheckEq c.Filler, 0, "new object's filler"
  c.Key = NewBlob(keyBlobHex)
  CheckEq c.Key.Hex, keyBlobHex, "Key put without Set, read back"
  CheckEq c.Encrypt(NewBlob(plainHex)).Hex, cipherHex, "known answer"
  CheckEq c.Decrypt(NewBlob(cipherHex)).Hex, plainHex, "known answer, decrypted"
  Dim d : Set d = CreateObject(progId)
  Set d.Key = c.Key
  CheckEq d.Encrypt(NewBlob(plainHex)).Hex, cipherHex, "Set Key from another object"
End Sub

SymmetricKnownAnswer "Quelvar.OrvoCryptoAES", "0000000A000102030405060708090A0B0C0D0E0F", _
  "00112233445566778899AABBCCDDEEFF", "69C4E0D86A7B0430D8CDB78070B4C55A"
SymmetricKnownAnswer "Quelvar.OrvoCryptoTwofish", "0000000200000000000000000000000000000000", _
  "00000000000000000000000000000000", "9F589F5CF6122C32B6BFEC2F2AE8C35A"
SymmetricKnownAnswer "Quelvar.OrvoCryptoBlowfish", "000000080000000000000000", _
  "0000000000000000", "4EF997456198DD78"

Sub SymmetricBehaviour(progId, className, blockSize, keyBytesFor20)
  Begin progId
  Dim c : Set c = CreateObject(progId)
  On Error Resume Next
  Dim k : Set k = c.Key
  CheckError E_FAIL, "Crypto System: Invalid key - " & className, progId & ".1", "Key without a key"
  Set k = c.Encrypt(TextBlob("x"))
  CheckError E_FAIL, "Crypto System: Invalid key", progId & ".1", "Encrypt without a key"
  Set k = c.Encrypt(Nothing)
  CheckError E_FAIL, NO_BLOB, progId & ".1", "Encrypt of Nothing"
  On Error GoTo 0

  c.KeyGen TextBlob("seed"), 20
  CheckEq c.Key.Size, 4 + keyBytesFor20, "KeyGen(seed, 20) key size"
  c.Filler = 321
  CheckEq c.Filler, 65, "Filler keeps the low byte"
  Dim sealed : Set sealed = c.Encrypt(TextBlob("A"))
  CheckEq sealed.Size, blockSize, "one byte seals to one block"
  CheckEq c.Decrypt(sealed).Hex, Replace(Space(blockSize), " ", "41"), "decrypt gives the byte and the filler"
  On Error Resume Next
  Set k = c.Decrypt(NewBlob(Left("00112233445566778899AABBCCDDEEFF00", 2 * blockSize - 2)))
  CheckError E_FAIL, "Crypto System: Unable to decrypt data", progId & ".1", "partial block"
  On Error GoTo 0

  ' CBC: two calls continue one chain; a fresh object with the key opens both in order.
  Dim a : Set a = CreateObject(progId)
  a.KeyGen TextBlob("cbc seed"), 32
  a.Mode = 2
  Dim one : Set one = a.Encrypt(NewBlob(Left("0123456789ABCDEF0123456789ABCDEF", 2 * blockSize)))
  Dim two : Set two = a.Encrypt(NewBlob(Left("0123456789ABCDEF0123456789ABCDEF", 2 * blockSize)))
  CheckTrue one.Hex <> two.Hex, "CBC continues the chain"
  Dim b : Set b = CreateObject(progId)
  b.Key = a.Key
  b.Mode = 2
  CheckEq b.Decrypt(one).Hex, Left("0123456789ABCDEF0123456789ABCDEF", 2 * blockSize), "CBC first piece"
  CheckEq b.Decrypt(two).Hex, Left("0123456789ABCDEF0123456789ABCDEF", 2 * blockSize), "CBC second piece"
  a.Mode = 3
  CheckEq a.Mode, 3, "Mode keeps any value"
  CheckEq a.Encrypt(TextBlob("data")).Size, 0, "mode 3 gives nothing"
End Sub

SymmetricBehaviour "Quelvar.OrvoCryptoAES", "AES", 16, 16
SymmetricBehaviour "Quelvar.OrvoCryptoTwofish", "Twofish", 16, 24
SymmetricBehaviour "Quelvar.OrvoCryptoBlowfish", "Blowfish", 8, 20

Begin "AES KeyGen"
Dim aes : Set aes = CreateObject("Quelvar.OrvoCryptoAES")
aes.KeyGen CreateObject("Quelvar.OrvoBlob"), 16
CheckEq aes.Key.Hex, "0000000AD41D8CD98F00B204E9800998ECF8427E", "empty seed gives MD5 of nothing"
aes.KeyGen TextBlob("x"), -1
CheckEq aes.Key.Size, 36, "a negative length is a large request"
On Error Resume Next
aes.Key = NewBlob("0000000C00112233445566778899AABBCCDDEEFF")
CheckError E_FAIL, "Crypto System: Data is corrupted - AES", "Quelvar.OrvoCryptoAES.1", "wrong key blob"
On Error GoTo 0
CheckEq aes.Key.Size, 36, "a refused key blob keeps the earlier key"

' ---------------------------------------------------------------- RSA
Begin "RSA"
Dim rsa : Set rsa = CreateObject("Quelvar.OrvoCryptoRSA")
On Error Resume Next
Dim r : Set r = rsa.Encrypt(TextBlob("x"))
CheckError E_FAIL, "Crypto System: Invalid key - RSA", "Quelvar.OrvoCryptoRSA.1", "Encrypt without a key"
rsa.SetIV Nothing
CheckError E_FAIL, NO_BLOB, "Quelvar.OrvoCryptoRSA.1", "SetIV of Nothing"
On Error GoTo 0
rsa.KeyGen TextBlob("alpha"), TextBlob("beta"), 64
CheckEq LCase(rsa.PublicKey.Hex), "00000040000000401a43223f4de8c0d77eb3c409d6ac9147180926b4ca3b391ad41607bc21c1e8f9d6b3a873bbcf3ce1bcd23c214d1187b3c8c8f50047a8590357f2b430c7bb12c900000003010001", _
        "public key blob from the seeds alpha and beta (independent reference)"
Dim message : Set message = TextBlob("Attack at dawn, and bring the key blobs along for the ride.")
Dim sealedRsa : Set sealedRsa = rsa.Encrypt(message)
CheckEq rsa.Decrypt(sealedRsa).Text, message.Text, "RSA round trip"
Dim signature : Set signature = rsa.Sign(message)
CheckEq rsa.Verify(message, signature), 1, "signature verifies"
CheckEq rsa.Verify(TextBlob("other"), signature), 0, "signature of other data"

Dim holder : Set holder = CreateObject("Quelvar.OrvoCryptoRSA")
holder.PrivateKey = rsa.PrivateKey
CheckEq holder.Decrypt(sealedRsa).Text, message.Text, "private key blob in another object decrypts"
On Error Resume Next
Set r = holder.Encrypt(message)
CheckError E_FAIL, "Crypto System: Invalid key - RSA", "", "Encrypt with only the private half"
On Error GoTo 0
Set holder.PublicKey = rsa.PublicKey
CheckEq holder.Verify(message, rsa.Sign(message)), 1, "both halves loaded"
rsa.SetIV TextBlob("label")
Set sealedRsa = rsa.Encrypt(message)
holder.SetIV TextBlob("label")
CheckEq holder.Decrypt(sealedRsa).Text, message.Text, "the same label on both sides"
On Error Resume Next
rsa.PublicKey = NewBlob("000102")
CheckError E_FAIL, "Crypto System: Data is corrupted - RSA", "", "3-byte public key blob"
On Error GoTo 0

' ---------------------------------------------------------------- examples/seal.asp
' The ASP example's code, with CreateObject for Server.CreateObject.
Begin "seal.asp"
Dim aspMessage : aspMessage = "Hello from classic ASP"
Dim aspSealer : Set aspSealer = CreateObject("Quelvar.OrvoCryptoAES")
aspSealer.KeyGen TextBlob("replace with a seed read from a protected file"), 32
aspSealer.Mode = 2
Dim aspRecord : Set aspRecord = CreateObject("Quelvar.OrvoBlob")
misc.InsertBlobToBlob aspRecord, 0, TextBlob(aspMessage)
Dim aspSealed : aspSealed = aspSealer.Encrypt(aspRecord).Base64
Dim aspOpener : Set aspOpener = CreateObject("Quelvar.OrvoCryptoAES")
aspOpener.Key = aspSealer.Key
aspOpener.Mode = 2
Dim aspReceived : Set aspReceived = CreateObject("Quelvar.OrvoBlob")
aspReceived.Base64 = aspSealed
CheckEq misc.ExtractBlobFromBlob(aspOpener.Decrypt(aspReceived), 0).Text, aspMessage, "sealed and opened as the page does"

' ---------------------------------------------------------------- page hooks
Begin "page hooks"
CheckEq misc.OnStartPage(blob), 0, "OnStartPage with a context"
CheckEq misc.OnEndPage(), 0, "OnEndPage"
CheckEq aes.OnStartPage(Nothing), -2147467261, "OnStartPage without a context gives E_POINTER"

WScript.Echo "DONE " & failures & " failure(s)"
WScript.Quit failures
