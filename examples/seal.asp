<%@ Language="VBScript" %>
<%
' Seals a form field with AES in CBC mode and shows it as Base64, then opens it
' again. Register orvoblob.dll and orvocrypto.dll for the application pool's
' bitness first. The key comes from a seed kept outside the web root; here a
' fixed text stands in for it.
Option Explicit

Function TextBlob(text)
  Dim b : Set b = Server.CreateObject("Quelvar.OrvoBlob")
  b.Text = text
  Set TextBlob = b
End Function

Dim message : message = Request.Form("message")
If message = "" Then message = "Hello from classic ASP"

Dim sealer : Set sealer = Server.CreateObject("Quelvar.OrvoCryptoAES")
sealer.KeyGen TextBlob("replace with a seed read from a protected file"), 32
sealer.Mode = 2

' Keep the length with the data: Decrypt does not remove the padding.
Dim misc : Set misc = Server.CreateObject("Quelvar.OrvoCryptoMisc")
Dim record : Set record = Server.CreateObject("Quelvar.OrvoBlob")
misc.InsertBlobToBlob record, 0, TextBlob(message)
Dim sealed : sealed = sealer.Encrypt(record).Base64

' A fresh object starts its CBC chain from zero, as the sealer's did.
Dim opener : Set opener = Server.CreateObject("Quelvar.OrvoCryptoAES")
opener.Key = sealer.Key
opener.Mode = 2
Dim received : Set received = Server.CreateObject("Quelvar.OrvoBlob")
received.Base64 = sealed
Dim opened : Set opened = misc.ExtractBlobFromBlob(opener.Decrypt(received), 0)
%>
<html>
<body>
<form method="post"><input name="message" value="<%= Server.HTMLEncode(message) %>"><input type="submit" value="Seal"></form>
<p>Sealed (Base64): <code><%= sealed %></code></p>
<p>Opened: <%= Server.HTMLEncode(opened.Text) %></p>
</body>
</html>
