# A card reader without a card: every card access fails to connect
# (VerifyPin 12001, GetCertificate 8001).
present=no
