# Markup characters in the names and the card's own details.
pin=1234
cardNumber=TP<&>0801
idno=E1&<>
serialNumber=0801
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
